#include "answermessage.h"

#include "answers/acceptedanswer.h"
#include "model/codepage1251.h"
#include "model/terminalname.h"

#include <QDateTime>
#include <QVarLengthArray>
#include <QtEndian>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <limits>

namespace {
constexpr int kNameLength = AnswerRecord::kNameLength;
constexpr int kNoOffset = std::numeric_limits<qint32>::min();

// The compact form: kind, then for an answer
//   row, terminal (+1), answer kind, format, status byte, address, channel,
//   time (6), received ms (8 LE), received offset (4 LE), time offset (4 LE),
//   status text length (1) and UTF-8, record length (1) and bytes;
// for a clearing the row.
enum Kind : char { kAnswer = 'A', kClearMeasurement = 'M', kClearStatus = 'S' };
constexpr int kFixed = 1 + 7 + 6 + 8 + 4 + 4;

// The message is written by hand into a buffer sized for its longest form:
// a QJsonObject of 40 values, or a QString per field, costs more than
// everything else the broker does for an answer.
class JsonWriter {
public:
    explicit JsonWriter(char* out) : m_p(out) {}
    char* end() const { return m_p; }

    void raw(char c) { *m_p++ = c; }
    void raw(QByteArrayView bytes)
    {
        std::memcpy(m_p, bytes.data(), size_t(bytes.size()));
        m_p += bytes.size();
    }
    void key(QByteArrayView name)
    {
        raw(",\"");
        raw(name);
        raw("\":");
    }
    void integer(qint64 value) { m_p = std::to_chars(m_p, m_p + 20, value).ptr; }
    // Written as UTF-8; every byte that starts no well-formed sequence becomes
    // U+FFFD, as a QString made from the bytes would show it.
    void string(QByteArrayView utf8)
    {
        raw('"');
        const auto* s = reinterpret_cast<const quint8*>(utf8.data());
        const auto* const end = s + utf8.size();
        while (s < end) {
            const quint8 c = *s;
            if (c >= 0x80) {
                const int length = sequenceLength(s, end);
                if (length == 0) {
                    raw("\xEF\xBF\xBD");
                    ++s;
                } else {
                    raw(QByteArrayView(s, length));
                    s += length;
                }
                continue;
            }
            if (c == '"' || c == '\\') {
                raw('\\');
                raw(char(c));
            } else if (c < 0x20) {
                raw("\\u00");
                raw(kHexDigitsLower[c >> 4]);
                raw(kHexDigitsLower[c & 15]);
            } else {
                raw(char(c));
            }
            ++s;
        }
        raw('"');
    }
    void upperHex(QByteArrayView bytes)
    {
        for (const char b : bytes) {
            raw(kHexDigitsUpper[quint8(b) >> 4]);
            raw(kHexDigitsUpper[quint8(b) & 15]);
        }
    }
    // At least two digits.
    void twoDigits(int value)
    {
        if (value < 10)
            raw('0');
        integer(value);
    }
    // Z for UTC, else +hh:mm or -hh:mm (seconds of an offset dropped).
    void offset(qint32 seconds)
    {
        if (seconds == 0) {
            raw('Z');
            return;
        }
        const qint64 magnitude = qAbs(qint64(seconds));
        raw(seconds > 0 ? '+' : '-');
        twoDigits(int(magnitude / 3600));
        raw(':');
        twoDigits(int(magnitude / 60 % 60));
    }
    // yyyy-MM-ddThh:mm:ss
    void dateTime(const std::chrono::year_month_day& date, int hour, int minute, int second)
    {
        const int year = int(date.year());
        for (int divisor = 1000; divisor > 0; divisor /= 10)
            raw(char('0' + year / divisor % 10));
        raw('-');
        twoDigits(int(unsigned(date.month())));
        raw('-');
        twoDigits(int(unsigned(date.day())));
        raw('T');
        twoDigits(hour);
        raw(':');
        twoDigits(minute);
        raw(':');
        twoDigits(second);
    }

private:
    static constexpr char kHexDigitsLower[] = "0123456789abcdef";
    static constexpr char kHexDigitsUpper[] = "0123456789ABCDEF";

    // The length of the well-formed UTF-8 sequence at s, 0 when none starts there.
    static int sequenceLength(const quint8* s, const quint8* end)
    {
        const auto follows = [s, end](int i, quint8 low = 0x80, quint8 high = 0xBF) {
            return s + i < end && s[i] >= low && s[i] <= high;
        };
        const quint8 lead = s[0];
        if (lead >= 0xC2 && lead <= 0xDF)
            return follows(1) ? 2 : 0;
        if (lead >= 0xE0 && lead <= 0xEF) {
            // No overlong forms, no surrogates.
            const quint8 low = lead == 0xE0 ? 0xA0 : 0x80;
            const quint8 high = lead == 0xED ? 0x9F : 0xBF;
            return follows(1, low, high) && follows(2) ? 3 : 0;
        }
        if (lead >= 0xF0 && lead <= 0xF4) {
            // No overlong forms, nothing past U+10FFFF.
            const quint8 low = lead == 0xF0 ? 0x90 : 0x80;
            const quint8 high = lead == 0xF4 ? 0x8F : 0xBF;
            return follows(1, low, high) && follows(2) && follows(3) ? 4 : 0;
        }
        return 0;
    }

    char* m_p;
};

// The longest text a field can become: each byte of a string escaped as
// \u00XX, a code page byte three bytes of UTF-8.
constexpr qsizetype kEscaped = 6;
constexpr qsizetype kNameBound = 2 + kNameLength * kEscaped;
// Everything but the status text and the values, with room to spare: keys
// and punctuation (about 160 bytes), seq and four small integers (32), the
// name (62), terminal (22), time, stamp and received (90 at most) and the
// record in hex (156) come to about 520.
constexpr qsizetype kFixedBound = 1024;

// The name field of a record: up to its first zero byte, without the spaces
// around it (the ones QString::trimmed() takes from the name's characters),
// as UTF-8 (three bytes per byte at most).
QByteArrayView trimmedName(QByteArrayView record, int offset, char* out)
{
    const char* begin = record.data() + offset;
    const char* end = std::find(begin, begin + kNameLength, '\0');
    // Tab to carriage return, space and the no-break space (0xA0).
    const auto space = [](char c) {
        return c == ' ' || (c >= '\t' && c <= '\r') || quint8(c) == 0xA0;
    };
    while (begin < end && space(*begin))
        ++begin;
    while (end > begin && space(end[-1]))
        --end;
    return {out, writeUtf8FromCp1251(QByteArrayView(begin, end), out)};
}

// "<title>": for each of the 29 columns, and their total length.
struct ColumnKeys {
    QList<QByteArray> keys;
    qsizetype length = 0;
};

const ColumnKeys& columnKeys()
{
    static const ColumnKeys keys = [] {
        ColumnKeys out;
        for (const QString& title : MeasurementRecord::columnTitles()) {
            const QByteArray utf8 = title.toUtf8();
            QByteArray key(utf8.size() * kEscaped + 3, Qt::Uninitialized);
            JsonWriter w(key.data());
            w.string(utf8);
            w.raw(':');
            key.truncate(w.end() - key.constData());
            out.length += key.size();
            out.keys.append(key);
        }
        return out;
    }();
    return keys;
}

// The values object's longest form: keys, commas and braces, name, time of
// day and 27 numbers.
qsizetype valuesBound()
{
    return columnKeys().length + MeasurementRecord::kColumnCount + 2 + kNameBound +
           (MeasurementRecord::kColumnCount - 1) * (kScaledTextCapacity + 2);
}

// Columns 0 and 1 (name and time of day) are strings; the rest are numbers,
// written as the archive shows them.
void writeValues(JsonWriter& w, const AnswerRecord& record, QByteArrayView name)
{
    const QList<QByteArray>& keys = columnKeys().keys;
    const MeasurementRecord::ColumnBytes columns = MeasurementRecord::columnBytes(record);
    w.raw('{');
    for (int i = 0; i < MeasurementRecord::kColumnCount; ++i) {
        if (i > 0)
            w.raw(',');
        w.raw(keys[i]);
        if (i == 0)
            w.string(name);
        else if (i == 1)
            w.string(columns[i]);
        else
            w.raw(columns[i]);
    }
    w.raw('}');
}

// The local time of a moment at the given offset, with milliseconds; an empty
// string outside the years 1..9999, which the format cannot show.
void writeReceived(JsonWriter& w, qint64 ms, qint32 offset)
{
    w.raw('"');
    // Past 10^15 ms (31 700 years) no offset brings a time back into range,
    // and nothing below can overflow.
    constexpr qint64 kLimit = 1'000'000'000'000'000;
    if (ms > -kLimit && ms < kLimit) {
        const qint64 local = ms + qint64(offset) * 1000;
        constexpr qint64 kDay = 86'400'000;
        const qint64 days = local >= 0 ? local / kDay : -((-local + kDay - 1) / kDay);
        const qint64 inDay = local - days * kDay;
        const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{days}}};
        if (int(date.year()) >= 1 && int(date.year()) <= 9999) {
            w.dateTime(date, int(inDay / 3'600'000), int(inDay / 60'000 % 60),
                       int(inDay / 1000 % 60));
            const int milliseconds = int(inDay % 1000);
            w.raw('.');
            w.raw(char('0' + milliseconds / 100));
            w.raw(char('0' + milliseconds / 10 % 10));
            w.raw(char('0' + milliseconds % 10));
            w.offset(offset);
        }
    }
    w.raw('"');
}

QString channelTopic(int row, bool status)
{
    return QStringLiteral("channel/") + QString::number(row + 1) +
           (status ? QStringLiteral("/status") : QString());
}

// The last minute looked up: a tick's answers share it.
struct OffsetCache {
    qint64 key = -1;
    std::optional<int> offset;
};
} // namespace

std::optional<int> AnswerMessage::localOffset(const QDate& date, const QTime& time)
{
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    static thread_local OffsetCache cache;
    const qint64 key = date.toJulianDay() * 1440 + time.hour() * 60 + time.minute();
    if (key == cache.key)
        return cache.offset;
    const QDateTime local(date, QTime(time.hour(), time.minute()));
    // Qt has no offset for a time the clocks skipped (or moves it); the day's
    // folder says the offset of that day's start.
    const bool skipped = !local.isValid() || local.date() != date ||
                         local.time().hour() != time.hour() ||
                         local.time().minute() != time.minute();
    cache.key = key;
    cache.offset = skipped ? QDateTime(date, QTime(0, 0)).offsetFromUtc() : local.offsetFromUtc();
    return cache.offset;
}

QByteArray AnswerMessage::compact(const AcceptedAnswer& answer, const Context& context)
{
    const AcceptedAnswer::Time& t = answer.time;
    const std::optional<int> offset =
        localOffset(QDate(2000 + t[5], t[4], t[3]), QTime(t[2], t[1], t[0]));
    const QByteArray statusText = answer.statusText.toUtf8().left(255);
    const int length = answer.length();
    QByteArray out(kFixed, '\0');
    char* p = out.data();
    p[0] = kAnswer;
    p[1] = char(answer.row);
    p[2] = char(answer.terminal + 1);
    p[3] = char(answer.kind == AcceptedAnswer::Kind::Measurement);
    p[4] = char(answer.format == AcceptedAnswer::Format::Compact);
    p[5] = char(answer.status);
    p[6] = char(context.address);
    p[7] = char(context.channel);
    for (int i = 0; i < 6; ++i)
        p[8 + i] = char(t[size_t(i)]);
    qToLittleEndian(qint64(context.receivedMs), p + 14);
    qToLittleEndian(qint32(context.receivedOffset), p + 22);
    qToLittleEndian(qint32(offset.value_or(kNoOffset)), p + 26);
    out.reserve(kFixed + 2 + statusText.size() + length);
    out += char(statusText.size());
    out += statusText;
    out += char(length);
    out.append(reinterpret_cast<const char*>(answer.record.bytes.data()), length);
    return out;
}

QByteArray AnswerMessage::clearing(int row, bool status)
{
    QByteArray out(2, '\0');
    out[0] = status ? kClearStatus : kClearMeasurement;
    out[1] = char(row);
    return out;
}

std::optional<AnswerMessage::Message> AnswerMessage::message(const QByteArray& compact, qint64 seq)
{
    if (compact.size() == 2 && (compact[0] == kClearMeasurement || compact[0] == kClearStatus))
        return Message{channelTopic(quint8(compact[1]), compact[0] == kClearStatus), {}};
    if (compact.size() < kFixed + 2 || compact[0] != kAnswer)
        return std::nullopt;
    const char* p = compact.constData();
    const int textLength = quint8(p[kFixed]);
    if (kFixed + 1 + textLength >= compact.size())
        return std::nullopt;
    const int recordLength = quint8(p[kFixed + 1 + textLength]);
    const bool measurement = p[3] != 0;
    const int expected = measurement ? AnswerRecord::kFullLength : AnswerRecord::kShortLength;
    if (recordLength != expected || compact.size() != kFixed + 2 + textLength + recordLength)
        return std::nullopt;
    const QByteArrayView record = QByteArrayView(compact).last(recordLength);
    const QByteArrayView statusText(p + kFixed + 1, textLength);
    const int row = quint8(p[1]);

    // second, minute, hour, day, month, year - 2000
    const auto t = [p](int i) { return int(quint8(p[8 + i])); };
    const qint32 offset = qFromLittleEndian<qint32>(p + 26);
    const std::chrono::year_month_day date{std::chrono::year(2000 + t(5)),
                                           std::chrono::month(unsigned(t(4))),
                                           std::chrono::day(unsigned(t(3)))};
    const bool timeValid = date.ok() && t(2) < 24 && t(1) < 60 && t(0) < 60;

    char name[kNameLength * 3];
    const QByteArrayView trimmed =
        trimmedName(record, measurement ? AnswerRecord::kFullName : AnswerRecord::kShortName, name);

    QVarLengthArray<char, 4096> buffer(kFixedBound + 2 + textLength * kEscaped +
                                       (measurement ? valuesBound() : 0));
    JsonWriter w(buffer.data());
    w.raw("{\"seq\":");
    w.integer(seq);
    w.key("row");
    w.integer(row + 1);
    w.key("address");
    w.integer(quint8(p[6]));
    w.key("channel");
    w.integer(quint8(p[7]));
    w.key("name");
    w.string(trimmed);
    w.key("terminal");
    w.string(terminalText(int(qint8(p[2])) - 1).toUtf8());
    w.key("status");
    w.integer(quint8(p[5]));
    w.key("statusText");
    w.string(statusText);
    w.key("time");
    if (offset == kNoOffset || !timeValid) {
        w.raw("null");
    } else {
        w.raw('"');
        w.dateTime(date, t(2), t(1), t(0));
        w.offset(offset);
        w.raw('"');
    }
    w.key("stamp");
    w.raw('"');
    w.twoDigits(t(3));
    w.twoDigits(t(4));
    w.integer(2000 + t(5));
    w.twoDigits(t(2));
    w.twoDigits(t(1));
    w.twoDigits(t(0));
    w.raw('"');
    w.key("received");
    writeReceived(w, qFromLittleEndian<qint64>(p + 14), qFromLittleEndian<qint32>(p + 22));
    w.key("kind");
    w.raw(measurement ? "\"measurement\"" : "\"status\"");
    if (measurement) {
        AnswerRecord bytes;
        std::copy(record.begin(), record.end(), bytes.bytes.begin());
        w.key("values");
        writeValues(w, bytes, trimmed);
    }
    w.key("record");
    w.raw('"');
    w.upperHex(record);
    w.raw("\"}");
    Q_ASSERT(w.end() <= buffer.end());
    return Message{channelTopic(row, !measurement),
                   QByteArray(buffer.constData(), w.end() - buffer.constData())};
}

QString AnswerMessage::topic(const AcceptedAnswer& answer)
{
    return channelTopic(answer.row, answer.kind != AcceptedAnswer::Kind::Measurement);
}

QByteArray AnswerMessage::json(const AcceptedAnswer& answer, const Context& context, qint64 seq)
{
    const auto built = message(compact(answer, context), seq);
    return built ? built->payload : QByteArray();
}
