// The TCP page says where each service listens, and that one keeps trying
// while its port is taken.
#include "fixedclock.h"
#include "settingsfixture.h"

#include "net/listenretry.h"
#include "shell/station.h"
#include "window/tformmain.h"

#include <QApplication>
#include <QHostAddress>
#include <QLabel>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;

class TestListenStateLabel : public QObject {
    Q_OBJECT

private slots:
    void showsWhereEachServiceListensAndARetry()
    {
        QTcpServer occupier;
        QVERIFY(occupier.listen(QHostAddress::Any, 0));
        const quint16 port = occupier.serverPort();
        SettingsFixture settings;
        settings.setRoot(u"TCP_IP_Port"_s, QString::number(port));
        settings.setRoot(u"HistoryListenAddress"_s, u"127.0.0.1"_s);
        settings.setRoot(u"ForwardRequests"_s, u"0"_s);
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^live service cannot listen"_s));
        station.start(false);
        TFormMain window(station);
        auto* label = window.findChild<QLabel*>(u"lblListenState"_s);
        QVERIFY(label);
        const QString history =
            u"; служба архива: прием на 127.0.0.1:"_s +
            QString::number(station.historyEndpoint().section(u':', -1).toUInt());
        QCOMPARE(label->text(),
                 u"Служба TCP/IP: *:%1 не открывается, повтор каждые 5 с"_s.arg(port) + history +
                     u"; запросы клиентов не передаются"_s);
        QVERIFY(!label->toolTip().isEmpty()); // the system's reason

        occupier.close();
        QTRY_COMPARE_WITH_TIMEOUT(label->text(),
                                  u"Служба TCP/IP: прием на *:%1"_s.arg(port) + history +
                                      u"; запросы клиентов не передаются"_s,
                                  2 * ListenRetry::kRetryMs);
        QVERIFY(label->toolTip().isEmpty());
    }
};

QTEST_MAIN(TestListenStateLabel)
#include "tst_listenstatelabel.moc"
