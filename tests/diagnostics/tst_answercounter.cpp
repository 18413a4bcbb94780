// Counting on the road of accepted answers: kinds per row, the tick's time as
// the last answer's, and response times only for answers to written requests.
#include "fixedclock.h"

#include "answers/acceptedanswer.h"
#include "diagnostics/answercounter.h"
#include "model/stationcounters.h"

#include <QDeadlineTimer>
#include <QTest>

namespace {
AcceptedAnswer answer(int row, AcceptedAnswer::Kind kind)
{
    AcceptedAnswer a;
    a.row = row;
    a.kind = kind;
    return a;
}
} // namespace

class TestAnswerCounter : public QObject {
    Q_OBJECT
private slots:
    void bucketsHoldTheirUpperBound_data()
    {
        QTest::addColumn<quint64>("ms");
        QTest::addColumn<int>("bucket");
        QTest::newRow("0 ms") << quint64(0) << 0;
        QTest::newRow("100 ms, first bound") << quint64(100) << 0;
        QTest::newRow("101 ms") << quint64(101) << 1;
        QTest::newRow("1000 ms") << quint64(1000) << 3;
        QTest::newRow("1001 ms") << quint64(1001) << 4;
        QTest::newRow("30000 ms, last bound") << quint64(30000) << 7;
        QTest::newRow("30001 ms, above all") << quint64(30001) << 8;
    }
    void bucketsHoldTheirUpperBound()
    {
        QFETCH(quint64, ms);
        QFETCH(int, bucket);
        ResponseHistogram histogram;
        histogram.record(ms);
        histogram.record(40);
        for (int b = 0; b < ResponseHistogram::kBucketCount; ++b)
            QCOMPARE(histogram.buckets[size_t(b)], quint64((b == bucket) + (b == 0)));
        QCOMPARE(histogram.count, quint64(2));
        QCOMPARE(histogram.sumMs, ms + 40);
        QCOMPARE(histogram.lastMs, quint64(40));
    }

    void countsKindsAndTheTickTime()
    {
        StationCounters counters;
        FixedClock clock(QDateTime(QDate(2024, 6, 15), QTime(10, 0, 0)));
        AnswerCounter counter(counters, clock);
        counter.beginTick();
        clock.set(QDateTime(QDate(2024, 6, 15), QTime(10, 0, 5))); // later in the tick
        counter.accept(answer(2, AcceptedAnswer::Kind::Measurement));
        counter.accept(answer(2, AcceptedAnswer::Kind::Status));
        counter.accept(answer(2, AcceptedAnswer::Kind::Measurement));
        counter.accept(answer(-1, AcceptedAnswer::Kind::Measurement)); // no row: ignored
        counter.accept(answer(kChannelCount, AcceptedAnswer::Kind::Measurement));
        counter.endTick();

        const ChannelCounters& row3 = counters.channels[2];
        QCOMPARE(row3.measurementsAccepted, quint64(2));
        QCOMPARE(row3.statusAnswersAccepted, quint64(1));
        QCOMPARE(row3.lastAcceptedMsecs,
                 QDateTime(QDate(2024, 6, 15), QTime(10, 0, 0)).toMSecsSinceEpoch());
        QCOMPARE(row3.responseTime.count, quint64(0)); // nothing was requested
        QCOMPARE(counters.channels[0].answersAccepted(), quint64(0));
        QCOMPARE(counters.channels[29].answersAccepted(), quint64(0));

        // Outside a tick the answer is taken at once, at the clock's time now.
        counter.accept(answer(2, AcceptedAnswer::Kind::Status));
        QCOMPARE(row3.lastAcceptedMsecs,
                 QDateTime(QDate(2024, 6, 15), QTime(10, 0, 5)).toMSecsSinceEpoch());
    }

    void responseTimeOnlyForAWrittenRequest()
    {
        StationCounters counters;
        const FixedClock clock;
        AnswerCounter counter(counters, clock);
        ChannelCounters& row1 = counters.channels[0];
        constexpr qint64 kAgoMs = 1500;
        row1.requestWrittenNs =
            QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() - kAgoMs * 1000000;
        counter.beginTick();
        counter.accept(answer(0, AcceptedAnswer::Kind::Measurement));
        // A second answer in the same tick settles no request.
        counter.accept(answer(0, AcceptedAnswer::Kind::Measurement));
        counter.endTick();
        QCOMPARE(row1.responseTime.count, quint64(1));
        QVERIFY2(row1.responseTime.lastMs >= quint64(kAgoMs),
                 qPrintable(QString::number(row1.responseTime.lastMs)));
        QCOMPARE(row1.responseTime.sumMs, row1.responseTime.lastMs);
        QCOMPARE(row1.requestWrittenNs, qint64(0));
    }

    void shareOfAnsweredPolls_data()
    {
        QTest::addColumn<quint64>("answers");
        QTest::addColumn<quint64>("timeouts");
        QTest::addColumn<double>("share");
        QTest::newRow("nothing settled yet") << quint64(0) << quint64(0) << 1.0;
        QTest::newRow("one in three lost") << quint64(2) << quint64(1) << 2.0 / 3.0;
        QTest::newRow("never answered") << quint64(0) << quint64(4) << 0.0;
    }
    void shareOfAnsweredPolls()
    {
        QFETCH(quint64, answers);
        QFETCH(quint64, timeouts);
        QFETCH(double, share);
        ChannelCounters c;
        c.statusAnswersAccepted = answers;
        c.timeouts = timeouts;
        QCOMPARE(c.answeredShare(), share);
    }
};

QTEST_GUILESS_MAIN(TestAnswerCounter)
#include "tst_answercounter.moc"
