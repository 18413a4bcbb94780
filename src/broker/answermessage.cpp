#include "answermessage.h"

#include "answers/acceptedanswer.h"
#include "model/codepage1251.h"
#include "model/terminalname.h"

#include <QDateTime>
#include <QLocale>
#include <QtEndian>

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

QString trimmedName(const QByteArray& record, int offset)
{
    QByteArray bytes = record.mid(offset, kNameLength);
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return fromCp1251(bytes).trimmed();
}

// The JSON is written out by hand: a QJsonObject of 40 values costs more than
// everything else the broker does for an answer.
void appendString(QByteArray& out, const QString& text)
{
    out += '"';
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (quint8(c) < 0x20) {
            static const char digits[] = "0123456789abcdef";
            out += "\\u00";
            out += digits[quint8(c) >> 4];
            out += digits[quint8(c) & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendNumber(QByteArray& out, double value)
{
    if (!qIsFinite(value))
        out += "null";
    else
        out += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

void appendKey(QByteArray& out, const char* key)
{
    out += ",\"";
    out += key;
    out += "\":";
}

// "<title>": for each of the 29 columns, made once.
const QList<QByteArray>& columnKeys()
{
    static const QList<QByteArray> keys = [] {
        QList<QByteArray> out;
        for (const QString& title : MeasurementRecord::columnTitles()) {
            QByteArray key;
            appendString(key, title);
            out.append(key + ':');
        }
        return out;
    }();
    return keys;
}

// Columns 0 and 1 (name and time of day) stay text; the rest are numbers.
void appendValues(QByteArray& out, const MeasurementRecord& m)
{
    const QList<QByteArray>& keys = columnKeys();
    out += '{';
    for (int i = 0; i < MeasurementRecord::kColumnCount; ++i) {
        if (i > 0)
            out += ',';
        out += keys[i];
        if (i < 2)
            appendString(out, i == 0 ? m.columns[size_t(i)].trimmed() : m.columns[size_t(i)]);
        else
            appendNumber(out, m.numbers[size_t(i)]);
    }
    out += '}';
}

QString twoDigits(int v)
{
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
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
    const QByteArray record = compact.right(recordLength);
    const int row = quint8(p[1]);

    // second, minute, hour, day, month, year - 2000
    const auto t = [p](int i) { return int(quint8(p[8 + i])); };
    const qint32 offset = qFromLittleEndian<qint32>(p + 26);
    const QDate date(2000 + t(5), t(4), t(3));
    const QTime time(t(2), t(1), t(0));
    const QString stamp = twoDigits(t(3)) + twoDigits(t(4)) + QString::number(2000 + t(5)) +
                          twoDigits(t(2)) + twoDigits(t(1)) + twoDigits(t(0));

    QByteArray o;
    o.reserve(measurement ? 1400 : 400);
    o += "{\"seq\":";
    o += QByteArray::number(seq);
    appendKey(o, "row");
    o += QByteArray::number(row + 1);
    appendKey(o, "address");
    o += QByteArray::number(quint8(p[6]));
    appendKey(o, "channel");
    o += QByteArray::number(quint8(p[7]));
    appendKey(o, "name");
    appendString(
        o, trimmedName(record, measurement ? AnswerRecord::kFullName : AnswerRecord::kShortName));
    appendKey(o, "terminal");
    appendString(o, terminalText(int(qint8(p[2])) - 1));
    appendKey(o, "status");
    o += QByteArray::number(quint8(p[5]));
    appendKey(o, "statusText");
    appendString(o, QString::fromUtf8(p + kFixed + 1, textLength));
    appendKey(o, "time");
    if (offset == kNoOffset || !date.isValid() || !time.isValid())
        o += "null";
    else
        appendString(o, QDateTime(date, time, Qt::OffsetFromUTC, offset).toString(Qt::ISODate));
    appendKey(o, "stamp");
    appendString(o, stamp);
    appendKey(o, "received");
    appendString(o, QDateTime::fromMSecsSinceEpoch(qFromLittleEndian<qint64>(p + 14),
                                                   Qt::OffsetFromUTC,
                                                   qFromLittleEndian<qint32>(p + 22))
                        .toString(Qt::ISODateWithMs));
    appendKey(o, "kind");
    o += measurement ? "\"measurement\"" : "\"status\"";
    if (measurement) {
        AnswerRecord bytes;
        std::copy(record.begin(), record.end(), bytes.bytes.begin());
        appendKey(o, "values");
        appendValues(o, MeasurementRecord::fromAnswer(bytes, QStringLiteral(".")));
    }
    appendKey(o, "record");
    o += '"';
    o += record.toHex().toUpper();
    o += "\"}";
    return Message{channelTopic(row, !measurement), o};
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
