// Cost of one answer on its way to the broker: the compact form the spool keeps
// and the JSON made from it when it is sent.
#include "answers/acceptedanswer.h"
#include "broker/answermessage.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace {

// A measurement of row 1 at 04:50:02 10.12.2026 named "Tank A", and a status
// answer of row 2 named "NoSensor".
constexpr char kMeasurementHex[] =
    "FF340A000040040038DD38DDB18300F307676C0554B40E331BC00018072003EA00A0"
    "00E30099002300A900D100A253D0062B8F7C36750D24100232040A0C0232040A0C1A"
    "54616E6B204120202020";
constexpr char kStatusHex[] = "FF340B02010432040A0C1A4E6F53656E736F722020";

AcceptedAnswer answerFromHex(const char* hex, const QString& statusText)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    AcceptedAnswer a;
    a.kind = bytes.size() == AnswerRecord::kFullLength ? AcceptedAnswer::Kind::Measurement
                                                       : AcceptedAnswer::Kind::Status;
    for (int i = 0; i < bytes.size(); ++i)
        a.record[i] = quint8(bytes[i]);
    a.row = a.record[AnswerRecord::kRow];
    a.terminal = 0;
    a.status = a.record[AnswerRecord::kStatus];
    a.statusText = statusText;
    const int stamp = a.kind == AcceptedAnswer::Kind::Measurement ? AnswerRecord::kFullStamp
                                                                  : AnswerRecord::kShortStamp;
    for (int i = 0; i < AnswerRecord::kStampLength; ++i)
        a.time[size_t(i)] = a.record[stamp + i];
    if (a.kind == AcceptedAnswer::Kind::Measurement)
        a.measurement = MeasurementRecord::fromAnswer(a.record, QStringLiteral("."));
    return a;
}

AcceptedAnswer measurement()
{
    return answerFromHex(kMeasurementHex, QStringLiteral("Получены данные"));
}

AcceptedAnswer status()
{
    return answerFromHex(kStatusHex, QStringLiteral("Нет сигнала"));
}

AnswerMessage::Context context()
{
    AnswerMessage::Context c;
    c.address = 52;
    c.channel = 3;
    c.receivedMs = 1765342204123;
    c.receivedOffset = 3600;
    return c;
}

void compact(benchmark::State& s, const AcceptedAnswer& answer)
{
    const AnswerMessage::Context c = context();
    for (auto _ : s)
        benchmark::DoNotOptimize(AnswerMessage::compact(answer, c));
}

void message(benchmark::State& s, const AcceptedAnswer& answer)
{
    const QByteArray spooled = AnswerMessage::compact(answer, context());
    qint64 seq = 1000000;
    for (auto _ : s)
        benchmark::DoNotOptimize(AnswerMessage::message(spooled, ++seq));
    s.SetBytesProcessed(s.iterations() * AnswerMessage::message(spooled, seq)->payload.size());
}

void BM_CompactMeasurement(benchmark::State& s)
{
    compact(s, measurement());
}
BENCHMARK(BM_CompactMeasurement);

void BM_CompactStatus(benchmark::State& s)
{
    compact(s, status());
}
BENCHMARK(BM_CompactStatus);

void BM_MessageMeasurement(benchmark::State& s)
{
    message(s, measurement());
}
BENCHMARK(BM_MessageMeasurement);

void BM_MessageStatus(benchmark::State& s)
{
    message(s, status());
}
BENCHMARK(BM_MessageStatus);

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
