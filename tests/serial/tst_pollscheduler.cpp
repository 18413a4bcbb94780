#include "fixedclock.h"
#include "serial/hexframe.h"
#include "serial/pollscheduler.h"
#include "serial/supervision.h"
#include "serialrig.h"
#include "shell/station.h"
#include "stationprobe.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

namespace {
const QByteArray kForward = QByteArrayLiteral(":0263031187\r\n");
}

class TestPollScheduler : public QObject {
    Q_OBJECT
private:
    struct Line : SerialRig {
        PollScheduler scheduler{state, access, blinker};
        Supervision supervision{state, access};
        Line() { attach(0); }
        void tick() { scheduler.TimerSendQuerryTimer(); }
        // What the decoder does for an answer to the outstanding request of channel k.
        void answer(int k, int t) { state.poll.answered(t, k); }
        void timeOut(int k)
        {
            for (int i = 0; i < 200 && state.poll.isAwaiting(k); ++i)
                supervision.TimerWaitAnsewerTimer();
        }
        QByteArray sent(int t, int count = HexFrame::kRequestLength)
        {
            return pty(t).readAtLeast(count, 2000);
        }
    };

private slots:
    void requestBytesOnTheLine_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("block 1 channel 0") << 1 << 0 << QByteArrayLiteral(":013400CB\r\n");
        QTest::newRow("block 255 channel 7") << 255 << 7 << QByteArrayLiteral(":FF3407C6\r\n");
    }
    void requestBytesOnTheLine()
    {
        QFETCH(int, address);
        QFETCH(int, channel);
        QFETCH(QByteArray, frame);
        Line line;
        QVERIFY(line.scheduler.SendRequest(0, quint8(address), quint8(channel)));
        QCOMPARE(line.sent(0), frame);
        QCOMPARE(line.state.iconState, 2);
        QVERIFY(line.timerBlink.isActive());
    }

    void sendRequestAfterFailedOpenWritesNothing()
    {
        Line line;
        line.settings.mapPort(SerialRig::comName(0), line.pty(0).slavePath() + u"-gone");
        QVERIFY(!line.access.OpenTerminal(0, QStringLiteral("9600")));
        QVERIFY(!line.scheduler.SendRequest(0, 1, 0));
        QCOMPARE(line.state.iconState, 0);
        QVERIFY(!line.timerBlink.isActive());
        QCOMPARE(line.pty(0).read(100), QByteArray());
    }

    void neverOpenedTerminalCountsAsSent()
    {
        Line line;
        QCOMPARE(line.state.terminals[4].handle, TerminalPort::Handle::NeverOpened);
        QVERIFY(line.scheduler.SendRequest(4, 1, 0));
        QCOMPARE(line.state.iconState, 2);
    }

    // Three on-request channels on one terminal, cycling through answers and time-outs.
    void channelsTakeTurns()
    {
        Line line;
        line.setChannel(5, QStringLiteral("Терминал1"), Texts::modeOnRequest, 3, 5, 1);
        line.setChannel(2, QStringLiteral("Терминал1"), Texts::modeOnRequest, 3, 2, 10);
        line.setChannel(17, QStringLiteral("Терминал1"), Texts::modeOnRequest, 4, 0, 1);
        line.setChannel(8, QStringLiteral("Терминал1"), Texts::modeActive, 3, 1, 1);

        line.tick();
        QCOMPARE(line.sent(0), HexFrame::requestFrame(3, 2));
        QVERIFY(line.state.poll.isPending(0));
        QVERIFY(line.state.poll.isAwaiting(2));
        QCOMPARE(line.state.countdownSeconds[2], 10.0);
        QCOMPARE(line.cellText(2, QueryColumn::Waiting),
                 Texts::waitingPrefix + u"10" + Texts::secondsSuffix);
        QCOMPARE(line.terminalStatus(0), Texts::portConnected);
        QCOMPARE(line.terminalColour(0), CellColour::Green);

        line.tick(); // still pending: nothing new
        QCOMPARE(line.pty(0).read(100), QByteArray());

        line.answer(2, 0);
        line.tick();
        QCOMPARE(line.sent(0), HexFrame::requestFrame(3, 5));
        line.timeOut(5);
        QCOMPARE(line.cellText(5, QueryColumn::Status), Texts::blockNotAnswering);
        line.tick();
        QCOMPARE(line.sent(0), HexFrame::requestFrame(4, 0));
        line.timeOut(17);
        line.tick(); // wraps to the first channel again
        QCOMPARE(line.sent(0), HexFrame::requestFrame(3, 2));
        QCOMPARE(line.state.pollQueues[0].next, 1);
    }

    void activeChannelsAreNeverPolled()
    {
        Line line;
        line.setChannel(0, QStringLiteral("Терминал1"), Texts::modeActive, 1, 0, 1);
        line.setChannel(1, Texts::notConnected, Texts::modeOnRequest, 1, 1, 1);
        line.setChannel(2, QStringLiteral("Терминал11"), Texts::modeOnRequest, 1, 2, 1);
        for (int i = 0; i < 3; ++i)
            line.tick();
        QCOMPARE(line.pty(0).read(100), QByteArray());
        QCOMPARE(line.state.iconState, 0);
    }

    void failedSendMovesTheTurnOn()
    {
        Line line;
        line.setChannel(0, QStringLiteral("Терминал1"), Texts::modeOnRequest, 1, 0, 10);
        line.setChannel(1, QStringLiteral("Терминал1"), Texts::modeOnRequest, 1, 1, 10);
        line.pull(0);
        line.tick();
        QCOMPARE(line.cellText(0, QueryColumn::Status), Texts::portMissingOrBusy);
        QCOMPARE(line.cellColour(0, QueryColumn::Status), CellColour::Red);
        QCOMPARE(line.terminalStatus(0), Texts::portBusy);
        QCOMPARE(line.terminalColour(0), CellColour::Red);
        QVERIFY(!line.state.poll.isPending(0));
        QVERIFY(!line.state.poll.isAwaiting(0));
        QCOMPARE(line.state.pollQueues[0].next, 1);

        // Back again: the next channel goes out on the next tick.
        line.ptys[0] = std::make_unique<PseudoTerminal>();
        line.settings.mapPort(SerialRig::comName(0), line.pty(0).slavePath());
        line.tick();
        QCOMPARE(line.sent(0), HexFrame::requestFrame(1, 1));
        QCOMPARE(line.terminalStatus(0), Texts::portConnected);
    }

    // Step A: the frame goes out on the row's terminal whatever its queue holds,
    // the lines stay quiet for a second, and the rest of the tick follows.
    void forwardedRequestThenQuietSecond()
    {
        Line line;
        line.attach(1);
        line.attach(2);
        line.setChannel(0, QStringLiteral("Терминал1"), Texts::modeOnRequest, 1, 0, 10);
        line.setChannel(1, QStringLiteral("Терминал2"), Texts::modeOnRequest, 2, 0, 10);
        line.setChannel(2, QStringLiteral("Терминал3"), Texts::modeOnRequest, 3, 0, 10);
        line.setChannel(9, QStringLiteral("Терминал2"), Texts::modeActive, 2, 3, 10);
        line.scheduler.setForwardedRequest(kForward, 10);
        line.state.iconState = 0;

        QTimer other; // stands for the receive and supervision timers
        other.setInterval(50);
        int otherTicks = 0;
        connect(&other, &QTimer::timeout, [&] { ++otherTicks; });
        other.start();

        QElapsedTimer clock;
        clock.start();
        line.tick();
        QCOMPARE(line.sent(0), HexFrame::requestFrame(1, 0));
        QCOMPARE(line.sent(1, kForward.size()), kForward);
        QCOMPARE(line.state.forwardRow, 0);
        QVERIFY(!line.state.poll.isPending(1));
        QVERIFY(line.scheduler.isPausing());

        line.tick(); // a send tick during the pause waits for the rest of this one
        QCOMPARE(line.pty(0).read(0), QByteArray());

        QByteArray second;
        qint64 secondAt = 0;
        QTRY_VERIFY_WITH_TIMEOUT((second += line.pty(1).read(0)).size() >= 11, 3000);
        secondAt = clock.elapsed();
        QCOMPARE(second, HexFrame::requestFrame(2, 0));
        QVERIFY2(secondAt >= PollScheduler::kQuietTimeMs, qPrintable(QString::number(secondAt)));
        QCOMPARE(line.sent(2), HexFrame::requestFrame(3, 0));
        QVERIFY(!line.scheduler.isPausing());
        QVERIFY2(otherTicks >= 10, qPrintable(QString::number(otherTicks)));
        QCOMPARE(line.pty(0).read(0), QByteArray()); // terminal 1 was not polled twice
    }

    // A request forwarded during the quiet second waits for the next tick: no
    // second pause, and the terminals after the first one get their polls, the
    // one the request is for as well, even when its row is next in its queue.
    void oneQuietSecondPerTick_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("an active row") << 10;
        QTest::newRow("a row next in its terminal's queue") << 3;
    }
    void oneQuietSecondPerTick()
    {
        QFETCH(int, row);
        Line line;
        line.attach(1);
        line.attach(2);
        line.setChannel(0, QStringLiteral("Терминал1"), Texts::modeOnRequest, 1, 0, 10);
        line.setChannel(1, QStringLiteral("Терминал2"), Texts::modeOnRequest, 2, 0, 10);
        line.setChannel(2, QStringLiteral("Терминал3"), Texts::modeOnRequest, 3, 0, 10);
        line.setChannel(9, QStringLiteral("Терминал3"), Texts::modeActive, 3, 1, 10);
        line.scheduler.setForwardedRequest(kForward, 2);
        line.tick();
        QCOMPARE(line.sent(0), HexFrame::requestFrame(1, 0));
        QCOMPARE(line.sent(1, kForward.size()), kForward);
        QVERIFY(line.scheduler.isPausing());

        line.scheduler.setForwardedRequest(kForward, row); // left during the quiet second
        line.scheduler.quietTimeElapsed();
        QVERIFY(!line.scheduler.isPausing());
        QCOMPARE(line.sent(1), HexFrame::requestFrame(2, 0));
        QCOMPARE(line.sent(2), HexFrame::requestFrame(3, 0));
        QCOMPARE(line.state.forwardRow, row);

        // Next tick: terminal 1, free again, is polled before the second request leaves.
        line.answer(0, 0);
        line.tick();
        QCOMPARE(line.sent(0), HexFrame::requestFrame(1, 0));
        QCOMPARE(line.sent(2, kForward.size()), kForward);
        QVERIFY(line.scheduler.isPausing());
    }

    // A send tick that falls into the quiet second runs right after it.
    void tickDuringQuietSecondIsKept()
    {
        Line line;
        line.attach(1);
        line.setChannel(0, QStringLiteral("Терминал1"), Texts::modeOnRequest, 1, 0, 10);
        line.setChannel(1, QStringLiteral("Терминал1"), Texts::modeOnRequest, 1, 1, 10);
        line.setChannel(4, QStringLiteral("Терминал2"), Texts::modeActive, 5, 0, 10);
        line.scheduler.setForwardedRequest(kForward, 5);
        line.tick();
        QCOMPARE(line.sent(0), HexFrame::requestFrame(1, 0));
        QCOMPARE(line.sent(1, kForward.size()), kForward);
        line.answer(0, 0);
        line.tick(); // during the quiet second
        QCOMPARE(line.pty(0).read(0), QByteArray());
        line.scheduler.quietTimeElapsed();
        QCOMPARE(line.sent(0), HexFrame::requestFrame(1, 1));
        QVERIFY(!line.scheduler.isPausing());
    }

    void forwardedRequestIgnoresPendingTerminal()
    {
        Line line;
        line.setChannel(0, QStringLiteral("Терминал1"), Texts::modeOnRequest, 1, 0, 10);
        line.state.poll.requested(0, -1);
        line.scheduler.setForwardedRequest(kForward, 1);
        line.tick();
        QCOMPARE(line.sent(0, kForward.size()), kForward);
        line.scheduler.quietTimeElapsed(); // the rest of the tick, at once
        QCOMPARE(line.pty(0).read(50), QByteArray());
        QCOMPARE(line.state.iconState, 0);
    }

    void headingRowNeverMatches()
    {
        Line line;
        line.scheduler.setForwardedRequest(kForward, 0);
        line.tick();
        QVERIFY(!line.scheduler.isPausing());
        QCOMPARE(line.pty(0).read(50), QByteArray());
    }

    // Step B: row 2's terminal cell was edited to "Терминал2" and not applied; its
    // channel is next on terminal 1, so the frame takes that poll's place there.
    void forwardedRequestTakesThePollsPlace()
    {
        Line line;
        line.attach(1);
        line.setChannel(1, QStringLiteral("Терминал1"), Texts::modeOnRequest, 7, 1, 10);
        line.state.queryList.setText(2, QueryColumn::Terminal, QStringLiteral("Терминал2"));
        line.scheduler.setForwardedRequest(kForward, 2);
        line.tick();
        QCOMPARE(line.sent(0, kForward.size()), kForward);
        QCOMPARE(line.state.forwardRow, 0);
        QVERIFY(!line.scheduler.isPausing());
        QVERIFY(!line.state.poll.isPending(0));
        QCOMPARE(line.state.pollQueues[0].next, 0);
        QCOMPARE(line.pty(1).read(50), QByteArray());

        line.tick();
        QCOMPARE(line.sent(0), HexFrame::requestFrame(7, 1));
    }

    // The station on its own timers: requests on the line every send tick that
    // finds the terminal free, a silent block timed out in between.
    void stationPollsOnItsTimers()
    {
        SettingsFixture settings;
        PseudoTerminal pty;
        settings.mapPort(QStringLiteral("COM1"), pty.slavePath());
        settings.setRoot(QStringLiteral("TCP_IP_Port"), QStringLiteral("0"));
        settings.setTerminal(1, QStringLiteral("COM1"));
        for (int n = 2; n <= kTerminalCount; ++n)
            settings.setTerminal(n, Texts::portUndefined);
        settings.setChannel(1, QStringLiteral("A"), QStringLiteral("Терминал1"),
                            Texts::modeOnRequest, QStringLiteral("5"), QStringLiteral("0"),
                            QStringLiteral("1"));
        settings.setChannel(2, QStringLiteral("B"), QStringLiteral("Терминал1"),
                            Texts::modeOnRequest, QStringLiteral("5"), QStringLiteral("1"),
                            QStringLiteral("1"));
        for (int row = 3; row <= kChannelCount; ++row)
            settings.setChannel(row, QString(), Texts::notConnected, Texts::modeOnRequest,
                                QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"));
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        station.start();
        QCOMPARE(StationProbe::timerSendQuerry(station).interval(), 2000);

        QElapsedTimer elapsed;
        elapsed.start();
        QByteArray got;
        QTRY_VERIFY_WITH_TIMEOUT((got += pty.read(0)).size() >= 22, 9000);
        QCOMPARE(got, HexFrame::requestFrame(5, 0) + HexFrame::requestFrame(5, 1));
        QVERIFY(elapsed.elapsed() >= 3500); // the first time-out took a send tick
        QCOMPARE(station.state().queryList.text(1, QueryColumn::Status), Texts::blockNotAnswering);
    }
};

QTEST_GUILESS_MAIN(TestPollScheduler)
#include "tst_pollscheduler.moc"
