#include "model/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

    // The store's folder turns into a plain file for a while and comes back.
    void refusedWriteIsReportedOnceAndForgotten()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("store"));
        const QString aside = dir.filePath(QStringLiteral("aside"));
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + QStringLiteral("/station.ini");
        const QString root = SettingsStore::rootKey();
        {
            SettingsStore store(file);
            QVERIFY(
                store.writeSetting(root, QStringLiteral("TCP_IP_Port"), QStringLiteral("5000")));

            QVERIFY(QDir().rename(folder, aside));
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            blocker.close();
            const Outcome refused =
                store.writeSetting(root, QStringLiteral("TCP_IP_Port"), QStringLiteral("6000"));
            QCOMPARE(refused.error(), QStringLiteral("Failed to set data for 'TCP_IP_Port'"));

            QVERIFY(QFile::remove(folder));
            QVERIFY(QDir().rename(aside, folder));
            const Outcome later =
                store.writeSetting(root, QStringLiteral("HistoryFolder"), QStringLiteral("/a"));
            QVERIFY2(later.ok(), qPrintable(later.error()));
            QCOMPARE(store.readSetting(root, QStringLiteral("TCP_IP_Port")),
                     QStringLiteral("5000"));
            QCOMPARE(store.readSetting(root, QStringLiteral("HistoryFolder")),
                     QStringLiteral("/a"));
        }
        // Nothing refused was written when the store closed.
        QFile stored(file);
        QVERIFY(stored.open(QIODevice::ReadOnly));
        const QByteArray bytes = stored.readAll();
        QVERIFY2(bytes.contains("TCP_IP_Port=5000"), bytes.constData());
        QVERIFY2(!bytes.contains("6000"), bytes.constData());
        QVERIFY2(bytes.contains("HistoryFolder=/a"), bytes.constData());
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
