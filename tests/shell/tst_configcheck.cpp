// What --check-config finds in a settings file, whether a file can be used at
// all, and the service's settings rebuilt from the administrator's file.
#include "settingsfixture.h"

#include "model/codepage1251.h"
#include "model/settingsstore.h"
#include "shell/configcheck.h"
#include "shell/settingsseed.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString writeFile(const QTemporaryDir& dir, const QByteArray& bytes)
{
    const QString path = dir.filePath(u"settings.ini"_s);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

// "error KX7R_QUERRY\...\Value" for each finding.
QStringList summary(const ConfigCheck& check)
{
    QStringList out;
    for (const ConfigCheck::Finding& finding : check.findings())
        out.append((finding.error ? u"error "_s : u"warning "_s) + finding.value);
    return out;
}

} // namespace

class TestConfigCheck : public QObject {
    Q_OBJECT

private slots:
    void readable_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error"); // what the refusal says; empty: usable
        QTest::newRow("comments, groups and values")
            << QByteArray("; a comment\n# another\n\n[KX7R_QUERRY]\nTCP_IP_Port=5000 ; port\n"
                          "[KX7R_QUERRY/RS/PORTS]\nCOM1=/dev/ttyUSB0\n")
            << QString();
        QTest::newRow("a line of nothing known")
            << QByteArray("[KX7R_QUERRY]\nTCP_IP_Port=5000\nListenAddress 127.0.0.1\n")
            << u"line 3 is neither"_s;
        QTest::newRow("code page 1251 text")
            << QByteArray("[KX7R_QUERRY/MEASURING_CHANNELS/CHANNEL01]\nTerminal=") +
                   toCp1251(u"Терминал1"_s) + '\n'
            << u"is not UTF-8 text"_s;
    }
    void readable()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const Outcome usable = ConfigCheck::readable(writeFile(dir, bytes));
        QCOMPARE(usable.ok(), error.isEmpty());
        QVERIFY2(usable.error().contains(error), qPrintable(usable.error()));
    }

    void aMissingFileIsNotUsable()
    {
        QTemporaryDir dir;
        const Outcome usable = ConfigCheck::readable(dir.filePath(u"none.ini"_s));
        QVERIFY(!usable);
        QVERIFY(usable.error().endsWith(u"does not exist"_s));
    }

    void everyRefusedValueIsFound()
    {
        SettingsFixture settings;
        settings.setRoot(u"TCP_IP_Port"_s, u"50x0"_s);
        settings.setRoot(u"ListenAddress"_s, u"localhost"_s);
        settings.setRoot(u"HistoryListenAddress"_s, u"::1"_s);
        settings.setRoot(u"ForwardRequests"_s, u"no"_s);
        settings.setRoot(u"HistoryFolder"_s, u"/srv/archive"_s);
        settings.setChannel(1, u"Tank"_s, u"Терминал1"_s, u"По запросу"_s, u"1"_s, u"0"_s, u"5"_s);
        settings.setChannel(2, u"B"_s, u"Терминал 2"_s, u"По запросу"_s, u"2"_s, u"0"_s, u"5"_s);
        settings.setChannel(3, u"C"_s, u"Терминал3"_s, u"по запросу"_s, u"300"_s, u"x"_s, u"5"_s);
        settings.setChannel(4, u""_s, u"Не подключен"_s, u""_s, u""_s, u""_s, u""_s);
        settings.setTerminal(1, u"COM1"_s, u"9600"_s);
        settings.mapPort(u"COM1"_s, settings.path()); // a file that exists
        settings.setTerminal(2, u"ttyUSB0"_s, u"9600"_s);
        settings.setTerminal(3, u"COM3"_s, u"fast"_s);
        settings.mapPort(u"COM3"_s, settings.path());
        settings.setTerminal(4, u"Не определен"_s, u"fast"_s);
        const QString channel = u"KX7R_QUERRY\\MEASURING_CHANNELS\\CHANNEL0"_s;
        const QStringList expected = {
            u"error KX7R_QUERRY\\TCP_IP_Port"_s,
            u"error KX7R_QUERRY\\ListenAddress"_s,
            u"error KX7R_QUERRY\\ForwardRequests"_s,
            u"error "_s + channel + u"2\\Terminal"_s,
            u"error "_s + channel + u"3\\Regime"_s,
            u"warning "_s + channel + u"3\\AddresBO"_s,
            u"error "_s + channel + u"3\\ChannelBONumber"_s,
            u"error KX7R_QUERRY\\RS\\TERMINAL2\\COMName"_s,
            u"error KX7R_QUERRY\\RS\\TERMINAL3\\BaudRate"_s,
        };
        const ConfigCheck check(settings.store(), 5001);
        QCOMPARE(summary(check), expected);
        QCOMPARE(check.errorCount(), 8);
        const QString report = check.report();
        QVERIFY2(report.contains(u"Live service:    127.0.0.1:5000, forwarded requests off\n"),
                 qPrintable(report));
        QVERIFY2(report.contains(u"History service: [::1]:5001\n"), qPrintable(report));
        QVERIFY2(report.contains(u"  row  1  \"Tank\"  Терминал1  По запросу  block 1  channel 0  "
                                 u"timeout 5 s\n"),
                 qPrintable(report));
        // 300 is kept to its low 8 bits, as the station does.
        QVERIFY2(report.contains(u"  row  3  \"C\"  Терминал3  по запросу  block 44  channel 0"),
                 qPrintable(report));
        QVERIFY2(report.contains(u"  Терминал1  COM1 -> "_s + settings.path() + u"  9600 baud\n"),
                 qPrintable(report));
        QVERIFY(report.endsWith(u"8 error(s), 1 warning(s)\n"_s));

        // The command line's address wins over the stored one, as in the station.
        const ConfigCheck overridden(settings.store(), 5001, u"127.0.0.1"_s, QString());
        QVERIFY(!summary(overridden).contains(u"error KX7R_QUERRY\\ListenAddress"_s));
    }

    // A missing port is the default one; an empty one is off; a refused value
    // keeps the service off, as an error.
    void webStatusService_data()
    {
        QTest::addColumn<QString>("address"); // null: not stored
        QTest::addColumn<QString>("port");    // null: not stored
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("findings");
        QTest::newRow("nothing stored")
            << QString() << QString() << u"127.0.0.1:5080"_s << QStringList();
        QTest::newRow("port stored empty") << QString() << u""_s << u"off"_s << QStringList();
        QTest::newRow("every interface") << u"*"_s << u"8080"_s << u"*:8080"_s << QStringList();
        QTest::newRow("a port out of range") << u""_s << u"70000"_s << u"off (refused value)"_s
                                             << QStringList{u"error KX7R_QUERRY\\HTTP\\Port"_s};
        QTest::newRow("a host name") << u"localhost"_s << u"5080"_s << u"off (refused value)"_s
                                     << QStringList{u"error KX7R_QUERRY\\HTTP\\Address"_s};
    }
    void webStatusService()
    {
        QFETCH(QString, address);
        QFETCH(QString, port);
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(u"station.ini"_s));
        if (!address.isNull())
            store.writeSetting(u"KX7R_QUERRY\\HTTP\\"_s, u"Address"_s, address);
        if (!port.isNull())
            store.writeSetting(u"KX7R_QUERRY\\HTTP\\"_s, u"Port"_s, port);
        const ConfigCheck check(store, 5001);
        QTEST(summary(check).filter(u"HTTP"_s), "findings");
        QFETCH(QString, shown);
        QVERIFY2(check.report().contains(u"Web status:      "_s + shown + u'\n'),
                 qPrintable(check.report()));
    }

    void theServiceSettingsAreRebuiltKeepingTheLastMeasurement()
    {
        QTemporaryDir dir;
        const QString admin =
            writeFile(dir, "[KX7R_QUERRY]\nTCP_IP_Port=5005\n; comment\n[KX7R_QUERRY/RS/PORTS]\n"
                           "COM1=/dev/ttyUSB0\n");
        const QString state = dir.filePath(u"state.ini"_s);
        {
            QSettings former(state, QSettings::IniFormat);
            former.setValue(u"KX7R_QUERRY/LastMeasure"_s, u"10122026101500"_s);
            former.setValue(u"KX7R_QUERRY/TCP_IP_Port"_s, u"6000"_s);
            former.setValue(u"KX7R_QUERRY/HistoryFolder"_s, u"/old"_s);
        }
        QVERIFY(SettingsSeed::rebuild(admin, state));
        const SettingsStore store(state);
        const QString root = SettingsStore::rootKey();
        QCOMPARE(store.readSetting(root, u"TCP_IP_Port"_s), u"5005"_s);
        QCOMPARE(store.readSetting(root, u"LastMeasure"_s), u"10122026101500"_s);
        QCOMPARE(store.readSetting(root, u"HistoryFolder"_s), QString()); // gone from the admin's
        QCOMPARE(store.readSetting(SettingsStore::portsKey(), u"COM1"_s), u"/dev/ttyUSB0"_s);

        // A file the station cannot read leaves the state as it was.
        const QString broken = dir.filePath(u"broken.ini"_s);
        {
            QFile file(broken);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("TCP_IP_Port 5000\n");
        }
        QVERIFY(!SettingsSeed::rebuild(broken, state));
        QCOMPARE(SettingsStore(state).readSetting(root, u"TCP_IP_Port"_s), u"5005"_s);
    }

    void aSectionNamedWithSlashesHidesNoValue()
    {
        // As an administrator writes the file, groups in any order.
        QTemporaryDir dir;
        const QString path = writeFile(dir, "[KX7R_QUERRY/RS/TERMINAL1]\nBaudRate=9600\n"
                                            "[KX7R_QUERRY]\nTCP_IP_Port=5005\n");
        const SettingsStore store(path);
        QCOMPARE(store.readSetting(SettingsStore::rootKey(), u"TCP_IP_Port"_s), u"5005"_s);
        QCOMPARE(store.readSetting(SettingsStore::terminalKey(1), u"BaudRate"_s), u"9600"_s);
    }
};

QTEST_GUILESS_MAIN(TestConfigCheck)
#include "tst_configcheck.moc"
