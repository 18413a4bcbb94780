// Cost of the receive tick per answer: framing, hex decoding and LRC check of the
// received characters, then decoding into a record (sinks do nothing).
#include "answers/acceptedanswer.h"
#include "answers/answerconsumer.h"
#include "answers/answerdecoder.h"
#include "model/clock.h"
#include "model/settingsstore.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "serial/hexframe.h"
#include "serial/iconblinker.h"
#include "serial/linemonitor.h"
#include "serial/receiver.h"
#include "serial/terminalaccess.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

namespace {

struct Discard : AnswerConsumer {
    int count = 0;
    void beginTick() override {}
    void accept(const AcceptedAnswer&) override { ++count; }
    void endTick() override {}
};

QByteArray measurementAnswer()
{
    QByteArray bytes = QByteArray::fromHex("0134010000");
    for (int i = 5; i < 68; ++i)
        bytes.append(char(i * 7));
    return HexFrame::encodeWithLrc(bytes); // 69 bytes, 141 characters
}

// Characters in, decoded records out: the receive tick's work per answer.
void BM_FrameAndDecodeAnswer(benchmark::State& state)
{
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("s.ini")));
    StationState tables;
    tables.channels[0] = {QStringLiteral("Резервуар"), 1, 1, QStringLiteral("Терминал1"),
                          Texts::modeOnRequest,        10};
    QTimer blink;
    IconBlinker blinker(tables, blink);
    TerminalAccess access(tables, settings);
    LineMonitor monitor;
    class NowClock : public Clock {
        QDateTime now() const override { return QDateTime(QDate(2024, 6, 15), QTime(12, 0)); }
    } clock;
    Discard sink;
    AnswerDecoder decoder(tables, clock, sink);
    Receiver receiver(tables, access, blinker, monitor, decoder);
    const QByteArray frame = measurementAnswer();
    for (auto _ : state)
        receiver.takeBytes(0, frame.constData(), frame.size());
    benchmark::DoNotOptimize(sink.count);
    state.SetBytesProcessed(state.iterations() * frame.size());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FrameAndDecodeAnswer);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
