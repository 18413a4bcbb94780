// Cost of counting one accepted answer on its road: the counter consumer's
// increments and response time (the clocks are read once per receive tick).
#include "answers/acceptedanswer.h"
#include "diagnostics/answercounter.h"
#include "model/clock.h"
#include "model/stationcounters.h"

#include <QDeadlineTimer>
#include <benchmark/benchmark.h>

namespace {

class NowClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// One tick of 30 answers, one per row, each answering a written request.
void BM_CountTickOfAnswers(benchmark::State& state)
{
    StationCounters counters;
    NowClock clock;
    AnswerCounter counter(counters, clock);
    AcceptedAnswer answer;
    answer.kind = AcceptedAnswer::Kind::Measurement;
    const qint64 written = QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs();
    for (auto _ : state) {
        counter.beginTick();
        for (int k = 0; k < kChannelCount; ++k) {
            counters.channels[size_t(k)].requestWrittenNs = written;
            answer.row = k;
            counter.accept(answer);
        }
        counter.endTick();
    }
    benchmark::DoNotOptimize(counters.channels[0].measurementsAccepted);
    state.SetItemsProcessed(state.iterations() * kChannelCount);
}
BENCHMARK(BM_CountTickOfAnswers);

} // namespace

BENCHMARK_MAIN();
