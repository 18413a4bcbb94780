#include "model/settingsstore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void keyPaths_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("channel row 9")
            << SettingsStore::channelKey(9)
            << QStringLiteral("KX7R_QUERRY\\MEASURING_CHANNELS\\CHANNEL09\\");
        QTest::newRow("channel row 10")
            << SettingsStore::channelKey(10)
            << QStringLiteral("KX7R_QUERRY\\MEASURING_CHANNELS\\CHANNEL10\\");
        QTest::newRow("terminal 1")
            << SettingsStore::terminalKey(1) << QStringLiteral("KX7R_QUERRY\\RS\\TERMINAL1\\");
        QTest::newRow("terminal 10")
            << SettingsStore::terminalKey(10) << QStringLiteral("KX7R_QUERRY\\RS\\TERMINAL10\\");
    }
    void keyPaths()
    {
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(key, expected);
    }

    void missingValueReadsEmptyOnAFreshStore()
    {
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(QStringLiteral("new.ini")));
        QCOMPARE(store.readSetting(SettingsStore::rootKey(), QStringLiteral("TCP_IP_Port")),
                 QString());
    }

    // Written values reach the file at once, as nested groups, and replace whole.
    void writeReachesTheFileAndReadsBackWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.ini"));
        const QString key = SettingsStore::channelKey(9);
        {
            SettingsStore store(path);
            QVERIFY(store
                        .writeSetting(key, QStringLiteral("ChannelName"),
                                      QStringLiteral("Резервуар, 1"))
                        .ok());
            QVERIFY(
                store.writeSetting(key, QStringLiteral("ChannelName"), QStringLiteral("Р2")).ok());
            QVERIFY(store
                        .writeSetting(SettingsStore::rootKey(), QStringLiteral("TCP_IP_Port"),
                                      QStringLiteral("05000"))
                        .ok());
            SettingsStore other(path);
            QCOMPARE(other.readSetting(key, QStringLiteral("ChannelName")), QStringLiteral("Р2"));
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray ini = file.readAll();
        QVERIFY2(ini.contains("[KX7R_QUERRY]"), ini.constData());
        QVERIFY(ini.contains("TCP_IP_Port=05000"));
        QVERIFY(ini.contains("MEASURING_CHANNELS\\CHANNEL09\\ChannelName") ||
                ini.contains("MEASURING_CHANNELS/CHANNEL09/ChannelName"));
        SettingsStore reread(path);
        QCOMPARE(reread.readSetting(SettingsStore::rootKey(), QStringLiteral("TCP_IP_Port")),
                 QStringLiteral("05000"));
    }

    // The file's folder is a plain file: nothing can be written, whoever runs the test.
    void unwritableStoreReportsTheValueName()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SettingsStore store(dir.filePath(QStringLiteral("blocker/station.ini")));
        const Outcome result = store.writeSetting(
            SettingsStore::rootKey(), QStringLiteral("HistoryFolder"), QStringLiteral("x"));
        QVERIFY(!result.ok());
        QCOMPARE(result.error(), QStringLiteral("Failed to set data for 'HistoryFolder'"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
