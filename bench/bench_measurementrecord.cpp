// Cost of one measurement on its way to the archive: decoding the answer into
// its record, formatting the 29 column texts and appending the line.
#include "answers/acceptedanswer.h"
#include "answers/answerconsumer.h"
#include "answers/answerdecoder.h"
#include "answers/answerrecord.h"
#include "answers/measurementrecord.h"
#include "answers/numberformat.h"
#include "archive/archivewriter.h"
#include "model/clock.h"
#include "model/settingsstore.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

class StillClock : public Clock {
public:
    QDateTime now() const override { return QDateTime(QDate(2024, 6, 15), QTime(14, 45, 30)); }
};

struct Discard : AnswerConsumer {
    int count = 0;
    void beginTick() override {}
    void accept(const AcceptedAnswer&) override { ++count; }
    void endTick() override {}
};

// A 69-byte measurement of block 1, channel 0, with a valid block time stamp.
std::array<quint8, 69> measurementAnswer()
{
    std::array<quint8, 69> rx{};
    const quint8 head[] = {0x01, 0x34, 0x0A, 0x00, 0x00, 0x55, 0x1C};
    std::copy(std::begin(head), std::end(head), rx.begin());
    for (int i = 7; i < 57; ++i)
        rx[size_t(i)] = quint8(i * 37);
    const quint8 stamp[] = {3, 5, 7, 22, 9, 15};
    std::copy(std::begin(stamp), std::end(stamp), rx.begin() + 57);
    quint8 sum = 0;
    for (int i = 0; i < 68; ++i)
        sum = quint8(sum + rx[size_t(i)]);
    rx[68] = quint8(-sum);
    return rx;
}

AnswerRecord sampleRecord()
{
    AnswerRecord r;
    for (int i = 0; i < AnswerRecord::kFullLength; ++i)
        r[i] = quint8(i * 53 + 11);
    r[4] = 3;
    r[62] = 3, r[63] = 5, r[64] = 7, r[65] = 22, r[66] = 9, r[67] = 15;
    for (int i = 68; i < 78; ++i)
        r[i] = 'A';
    return r;
}

void BM_DecodeMeasurementAnswer(benchmark::State& s)
{
    StationState state;
    StillClock clock;
    Discard sink;
    AnswerDecoder decoder(state, clock, sink);
    state.channels[0] = {QStringLiteral("Tank"), 1, 0, QStringLiteral("Терминал1"),
                         Texts::modeOnRequest,   10};
    const std::array<quint8, 69> answer = measurementAnswer();
    const QByteArrayView bytes(reinterpret_cast<const char*>(answer.data()), answer.size());
    for (auto _ : s)
        decoder.DecodeAnswer(0, bytes);
    benchmark::DoNotOptimize(sink.count);
}
BENCHMARK(BM_DecodeMeasurementAnswer);

void BM_FormatScaled(benchmark::State& s)
{
    const QString point = QStringLiteral(",");
    qint64 raw = 16777215;
    for (auto _ : s) {
        benchmark::DoNotOptimize(formatScaled(raw, 3, 7, point));
        raw ^= 1;
    }
}
BENCHMARK(BM_FormatScaled);

void BM_MeasurementRecordFromAnswer(benchmark::State& s)
{
    const AnswerRecord r = sampleRecord();
    const QString point = QStringLiteral(",");
    for (auto _ : s)
        benchmark::DoNotOptimize(MeasurementRecord::fromAnswer(r, point));
}
BENCHMARK(BM_MeasurementRecordFromAnswer);

void BM_DataLine(benchmark::State& s)
{
    const MeasurementRecord m = MeasurementRecord::fromAnswer(sampleRecord(), QStringLiteral(","));
    for (auto _ : s)
        benchmark::DoNotOptimize(ArchiveWriter::dataLine(m));
}
BENCHMARK(BM_DataLine);

// Open, append one line, flush and close, as every measurement does.
void BM_AppendToArchive(benchmark::State& s)
{
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("station.ini")));
    settings.writeSetting(SettingsStore::rootKey(), QStringLiteral("HistoryFolder"),
                          dir.filePath(QStringLiteral("archive")));
    ArchiveWriter writer(settings);
    const MeasurementRecord m = MeasurementRecord::fromAnswer(sampleRecord(), QStringLiteral(","));
    for (auto _ : s)
        writer.AppendToArchive(m);
    s.SetItemsProcessed(s.iterations());
}
BENCHMARK(BM_AppendToArchive);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
