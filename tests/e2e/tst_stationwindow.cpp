// The station with its window, as a process: a stop from outside ends it at
// once without the close question, and a window with no display to show on
// says how to run without one.
#include "fieldrun.h"

#include "model/settingsstore.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestStationWindow : public QObject {
    Q_OBJECT
private slots:
    void stopsAtOnceOnSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QByteArray>("logged");
        QTest::newRow("SIGTERM") << int(SIGTERM) << QByteArray("stop requested by SIGTERM");
        QTest::newRow("SIGINT") << int(SIGINT) << QByteArray("stop requested by SIGINT");
    }
    void stopsAtOnceOnSignal()
    {
        QFETCH(int, signalNumber);
        QFETCH(QByteArray, logged);
        QTemporaryDir dir;
        const QString config = dir.filePath(QStringLiteral("station.ini"));
        {
            SettingsStore store(config);
            QVERIFY(store.writeSetting(SettingsStore::rootKey(), QStringLiteral("TCP_IP_Port"),
                                       QString::number(freePort())));
        }
        QProcess station;
        station.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        station.setProcessEnvironment(env);
        station.start(FieldRun::binary(QStringLiteral("kx7r-station")),
                      {QStringLiteral("--config"), config, QStringLiteral("--history-port"),
                       QString::number(freePort()), QStringLiteral("--http-port"), QString()});
        QVERIFY(station.waitForStarted(5000));
        QByteArray log;
        for (int i = 0; i < 100 && !log.contains("history service"); ++i) {
            station.waitForReadyRead(50);
            log += station.readAll();
        }
        QVERIFY2(log.contains("history service listening"), log.constData());
        QTest::qWait(200); // the window is up and the event loop runs

        ::kill(pid_t(station.processId()), signalNumber);
        const bool ended = station.waitForFinished(5000);
        if (!ended)
            station.kill();
        log += station.readAll();
        QVERIFY2(ended, log.constData());
        QCOMPARE(station.exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.exitCode(), 0);
        QVERIFY2(log.contains(logged), log.constData());
        QVERIFY2(log.contains("stopped"), log.constData());
    }

    void noDisplayPointsToHeadless()
    {
        QTemporaryDir dir;
        QProcess station;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        station.setProcessEnvironment(env);
        station.start(FieldRun::binary(QStringLiteral("kx7r-station")),
                      {QStringLiteral("--config"), dir.filePath(QStringLiteral("station.ini"))});
        QVERIFY(station.waitForFinished(10000));
        const QByteArray err = station.readAllStandardError();
        QVERIFY(station.exitStatus() != QProcess::NormalExit || station.exitCode() != 0);
        QVERIFY2(err.contains("start with --headless"), err.constData());
    }
};

QTEST_GUILESS_MAIN(TestStationWindow)
#include "tst_stationwindow.moc"
