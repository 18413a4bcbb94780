// The MQTT section of the "Дополнительные настройки" page: its Apply stores the
// KX7R_QUERRY\MQTT values or refuses a port that is not one, and its status
// line follows the publisher.
#include "fixedclock.h"
#include "settingsfixture.h"

#include "broker/brokersettings.h"
#include "shell/station.h"
#include "window/brokersettingsbox.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

class TestBrokerSettingsBox : public QObject {
    Q_OBJECT

private slots:
    void applyStoresValuesOrRefusesBadPort()
    {
        SettingsFixture settings;
        settings.setRoot(QStringLiteral("TCP_IP_Port"), QStringLiteral("0"));
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        station.start(false);
        BrokerSettingsBox box(station);
        auto* status = box.findChild<QLabel*>(QStringLiteral("lblMqttStatus"));
        QVERIFY(status);
        QCOMPARE(status->text(), QStringLiteral("MQTT: публикация выключена"));

        auto edit = [&](const char* name) {
            return box.findChild<QLineEdit*>(QString::fromLatin1(name));
        };
        QSignalSpy failed(&box, &BrokerSettingsBox::applyFailed);
        edit("txtMqttHost")->setText(QStringLiteral("127.0.0.1"));
        edit("txtMqttPort")->setText(QStringLiteral("70000"));
        box.btnApplyMqttClick();
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().toString(),
                 QStringLiteral("Порт '70000' недопустим: номер порта должен быть от 1 до 65535"));
        edit("txtMqttPort")->setText(QStringLiteral("abc"));
        box.btnApplyMqttClick();
        QCOMPARE(failed.size(), 2);
        QCOMPARE(failed.last().first().toString(),
                 QStringLiteral("Порт 'abc' недопустим: номер порта должен быть от 1 до 65535"));
        QCOMPARE(settings.store().readSetting(BrokerSettings::key(), QStringLiteral("Host")),
                 QString());

        // Port 1 on loopback: nobody answers, answers would be queued.
        edit("txtMqttPort")->setText(QStringLiteral("1"));
        edit("txtMqttClientId")->setText(QStringLiteral("site-7"));
        edit("txtMqttPassword")->setText(QStringLiteral("secret"));
        box.btnApplyMqttClick();
        QCOMPARE(failed.size(), 2);
        const QString key = BrokerSettings::key();
        QCOMPARE(settings.store().readSetting(key, QStringLiteral("Host")),
                 QStringLiteral("127.0.0.1"));
        QCOMPARE(settings.store().readSetting(key, QStringLiteral("Port")), QStringLiteral("1"));
        QCOMPARE(settings.store().readSetting(key, QStringLiteral("ClientId")),
                 QStringLiteral("site-7"));
        QCOMPARE(settings.store().readSetting(key, QStringLiteral("Password")),
                 QStringLiteral("secret"));
        QCOMPARE(edit("txtMqttPassword")->echoMode(), QLineEdit::Password);
        QCOMPARE(status->text(),
                 QStringLiteral("MQTT: нет связи с брокером 127.0.0.1:1, в очереди: 0"));
        station.shutdown();
    }
};

QTEST_MAIN(TestBrokerSettingsBox)
#include "tst_brokersettingsbox.moc"
