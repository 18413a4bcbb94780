#include "answerbuilder.h"

#include "tankmodel.h"

#include "serial/hexframe.h"

#include <cmath>

namespace {
constexpr int kStandardClockOffset = 57;
constexpr int kCompactClockOffset = 57;
constexpr int kStatusClockOffset = 5;

QByteArray withLrc(QByteArray message)
{
    message.append(char(HexFrame::lrc(message)));
    return message;
}

QByteArray standardHead(const AnswerBuilder::Request& r)
{
    QByteArray head;
    head.append(char(r.blockAddress));
    head.append(char(HexFrame::kRequestCode));
    head.append(char(r.sensorAddress));
    head.append(char(r.status));
    head.append(char(r.channelNumber));
    return head;
}
} // namespace

QByteArray AnswerBuilder::clockBytes(const QDateTime& clock, bool bad)
{
    const QDate d = clock.date();
    const QTime t = clock.time();
    QByteArray bytes;
    bytes.append(char(bad ? 60 : t.second()));
    bytes.append(char(t.minute()));
    bytes.append(char(t.hour()));
    bytes.append(char(d.day()));
    bytes.append(char(d.month()));
    bytes.append(char(qBound(0, d.year() - 2000, 255)));
    return bytes;
}

std::array<quint8, 2> AnswerBuilder::compactTemperature(double degrees)
{
    const auto magnitude = quint16(std::min(2047L, std::lround(std::fabs(degrees) * 16)));
    const quint16 raw = degrees < 0 ? quint16(~magnitude) : magnitude;
    return {quint8(raw & 0xFF), quint8(raw >> 8)};
}

QByteArray AnswerBuilder::unservedChannel(const Request& request)
{
    Request r = request;
    r.status = request.channelNumber > 7 ? 0x05 : 0x04;
    QByteArray m = standardHead(r);
    m.append(clockBytes(r.clock, r.badClock));
    return withLrc(m);
}

QByteArray AnswerBuilder::build(Scenario::Kind kind, const Request& r, const TankModel& tank)
{
    using Kind = Scenario::Kind;
    switch (kind) {
    case Kind::Standard69:
    case Kind::Standard63: {
        QByteArray m = standardHead(r);
        m.append(tank.payload()); // bytes 5..61
        if (kind == Kind::Standard69) {
            m.resize(kStandardClockOffset);
            m.append(clockBytes(r.clock, r.badClock)); // 57..62
            m.append(QByteArray(5, '\0'));             // 63..67
        }
        return withLrc(m); // 69 or 63 bytes
    }
    case Kind::Status12: {
        QByteArray m = standardHead(r);
        m.resize(kStatusClockOffset);
        m.append(clockBytes(r.clock, r.badClock));
        return withLrc(m);
    }
    case Kind::Status6:
        return withLrc(standardHead(r));
    case Kind::Compact58:
    case Kind::Compact64:
    case Kind::CompactStatus: {
        const QByteArray p = tank.payload();
        auto fromStd = [&](int answerOffset) { return p[answerOffset - 5]; };
        QByteArray m(57, '\0');
        m[0] = char(r.blockAddress);
        m[1] = char(HexFrame::kRequestCode);
        m[2] = char(r.channelNumber);
        m[3] = char(kind == Kind::CompactStatus ? r.status : 0);
        m[4] = 0;
        m[5] = char(fromStd(5) & 0x1F);
        for (int i = 0; i < 7; ++i) // levels
            m[6 + i] = fromStd(7 + i);
        for (int i = 0; i < 16; ++i) // volume, masses, densities, permittivities
            m[13 + i] = fromStd(16 + i);
        const auto temperatures = tank.temperatures();
        for (int i = 0; i < 5; ++i) {
            const auto t = compactTemperature(temperatures[size_t(i)]);
            m[29 + 2 * i] = char(t[0]);
            m[30 + 2 * i] = char(t[1]);
        }
        for (int i = 0; i < 16; ++i) // periods, capacitances, ADC
            m[39 + i] = fromStd(46 + i);
        m[55] = fromStd(14); // volume percent
        m[56] = fromStd(15);
        if (kind == Kind::Compact64) {
            m.resize(kCompactClockOffset);
            m.append(clockBytes(r.clock, r.badClock));
        }
        return withLrc(m); // 58 or 64 bytes
    }
    }
    return {};
}
