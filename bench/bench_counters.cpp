// Cost of counting one accepted answer on its road: the counter consumer's
// increments and response time (the clocks are read once per receive tick).
#include "answers/acceptedanswer.h"
#include "diagnostics/answercounter.h"
#include "model/clock.h"
#include "model/stationcounters.h"

#include <QDeadlineTimer>
#include <benchmark/benchmark.h>

namespace {

// One receive tick of n answers (rows 0..n-1), each answering a written
// request: the clocks once, then the increments n times.
void BM_CountTickOfAnswers(benchmark::State& state)
{
    const auto answers = int(state.range(0));
    StationCounters counters;
    SystemClock clock;
    AnswerCounter counter(counters, clock);
    AcceptedAnswer answer;
    answer.kind = AcceptedAnswer::Kind::Measurement;
    const qint64 written = QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs();
    for (auto _ : state) {
        counter.beginTick();
        for (int k = 0; k < answers; ++k) {
            counters.channels[size_t(k)].requestWrittenNs = written;
            answer.row = k;
            counter.accept(answer);
        }
        counter.endTick();
    }
    benchmark::DoNotOptimize(counters.channels[0].measurementsAccepted);
    state.SetItemsProcessed(state.iterations() * answers);
}
BENCHMARK(BM_CountTickOfAnswers)->Arg(1)->Arg(kChannelCount);

} // namespace

BENCHMARK_MAIN();
