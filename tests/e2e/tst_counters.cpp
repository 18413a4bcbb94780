// The counters against a simulated field whose faults are known: every poll of
// one channel is answered, of one answered with a spoiled LRC, of one not at
// all. The station runs in the test, its ticks called one by one, so each
// count follows from the scenario.
#include "fieldrun.h"
#include "fixedclock.h"
#include "stationprobe.h"

#include "model/settingsstore.h"
#include "model/stationtexts.h"
#include "serial/hexframe.h"
#include "shell/station.h"

#include <QSerialPort>
#include <QTest>

namespace {
// Characters on the line: ':', two hex digits a byte (LRC included), CR LF.
constexpr int frameCharacters(int bytes)
{
    return 1 + 2 * bytes + 2;
}
constexpr int kMeasurementFrame = frameCharacters(69);
constexpr int kStatusFrame = frameCharacters(12);
} // namespace

class TestCounters : public QObject {
    Q_OBJECT
private slots:
    void countsFollowTheScenario()
    {
        FieldRun run;
        QVERIFY(run.isValid());
        // Rows 1..4 in this order on terminal 1, each 3 s to answer.
        QVERIFY(run.startSimulator("line 1\nblock 1\n"
                                   "channel 0 std69 name=Good timeout=3\n"
                                   "channel 1 std69 name=BadLrc timeout=3 fault=badlrc\n"
                                   "channel 2 std69 name=Silent timeout=3 fault=silent\n"
                                   "channel 3 status:2 name=NoSensor timeout=3\n"));
        SettingsStore settings(run.configPath());
        const FixedClock clock;
        Station station(settings, clock, 0);
        station.start(false);
        QSerialPort* port = station.state().terminals[0].port.get();
        QVERIFY(port && port->isOpen());

        constexpr quint64 kRounds = 3;
        const int answerCharacters[] = {kMeasurementFrame, kMeasurementFrame, 0, kStatusFrame};
        for (int poll = 0; poll < int(4 * kRounds); ++poll) {
            const int k = poll % 4;
            StationProbe::scheduler(station).TimerSendQuerryTimer();
            QTRY_COMPARE(run.frames(1, "rx").size(), poll + 1);
            if (answerCharacters[k] > 0)
                QTRY_COMPARE(port->bytesAvailable(), qint64(answerCharacters[k]));
            StationProbe::receiver(station).RSTimerTimer();
            // Unanswered: the 100 ms supervision ticks run out the 3 s.
            for (int tick = 0; tick < 40 && station.state().poll.isPending(0); ++tick)
                StationProbe::supervision(station).TimerWaitAnsewerTimer();
            QVERIFY2(!station.state().poll.isPending(0), qPrintable(QString::number(poll)));
        }

        const StationCounters& counters = station.counters();
        struct Expected {
            quint64 measurements, statusAnswers, timeouts;
        };
        const Expected expected[] = {{3, 0, 0}, {0, 0, 3}, {0, 0, 3}, {0, 3, 0}};
        for (int k = 0; k < 4; ++k) {
            const ChannelCounters& c = counters.channels[size_t(k)];
            const QByteArray row = "row " + QByteArray::number(k + 1);
            QVERIFY2(c.requestsSent == kRounds, row.constData());
            QVERIFY2(c.forwardedRequests == 0, row.constData());
            QVERIFY2(c.measurementsAccepted == expected[k].measurements, row.constData());
            QVERIFY2(c.statusAnswersAccepted == expected[k].statusAnswers, row.constData());
            QVERIFY2(c.timeouts == expected[k].timeouts, row.constData());
            const bool answered = expected[k].timeouts == 0;
            // Every answer settled a request, so each has a response time.
            QVERIFY2(c.responseTime.count == (answered ? kRounds : quint64(0)), row.constData());
            QVERIFY2(c.lastAcceptedMsecs == (answered ? clock.now().toMSecsSinceEpoch() : 0),
                     row.constData());
        }
        QCOMPARE(station.state().queryList.text(3, QueryColumn::Status), Texts::blockNotAnswering);
        for (int k = 4; k < kChannelCount; ++k)
            QCOMPARE(counters.channels[size_t(k)].requestsSent, quint64(0));

        const TerminalCounters& line = counters.terminals[0];
        QCOMPARE(line.framesAccepted, 2 * kRounds); // rows 1 and 4
        QCOMPARE(line.lrcErrors, kRounds);          // row 2
        QCOMPARE(line.unacceptedLength, quint64(0));
        QCOMPARE(line.overflowFrames, quint64(0));
        QCOMPARE(line.floodDroppedBytes, quint64(0));
        QCOMPARE(line.bytesWritten, quint64(4 * kRounds * HexFrame::kRequestLength));
        QCOMPARE(line.bytesRead, quint64(kRounds * (2 * kMeasurementFrame + kStatusFrame)));
        // Opened at start and again before every poll.
        QCOMPARE(line.opens, quint64(1 + 4 * kRounds));
        QCOMPARE(line.openFailures, quint64(0));
        QCOMPARE(line.portState, TerminalCounters::PortState::Connected);
        QCOMPARE(counters.terminals[1].opens, quint64(0));

        // Only the good row's measurements reach the archive.
        QCOMPARE(counters.archive.linesWritten, kRounds);
        QCOMPARE(counters.archive.writeFailures, quint64(0));
        QCOMPARE(counters.startedMsecs, clock.now().toMSecsSinceEpoch());
    }
};

QTEST_GUILESS_MAIN(TestCounters)
#include "tst_counters.moc"
