#include "answermessage.h"

#include "answers/answerrecord.h"
#include "archive/measurementrecord.h"
#include "model/codepage1251.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
// Offsets of the time stamp (second, minute, hour, day, month, year - 2000) and
// the name in the two record lengths.
constexpr int kStatus = 3, kRow = 4;
constexpr int kShortStamp = 5, kFullStamp = 62, kStampLength = 6, kNameLength = 10;

QString isoTime(const AnswerRecord& r, int stamp)
{
    const QDate date(2000 + r[stamp + 5], r[stamp + 4], r[stamp + 3]);
    const QTime time(r[stamp + 2], r[stamp + 1], r[stamp]);
    if (!date.isValid() || !time.isValid())
        return {};
    const QDateTime local(date, time);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QString trimmedName(const AnswerRecord& r, int offset)
{
    QByteArray bytes(reinterpret_cast<const char*>(r.bytes.data()) + offset, kNameLength);
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return fromCp1251(bytes).trimmed();
}

// Columns 0 and 1 (name and time of day) stay text; the rest are numbers.
QJsonObject values(const AnswerRecord& record)
{
    const MeasurementRecord m = MeasurementRecord::fromAnswer(record, QStringLiteral("."));
    const QStringList& titles = MeasurementRecord::columnTitles();
    QJsonObject out;
    for (int i = 0; i < MeasurementRecord::kColumnCount; ++i) {
        const QString& text = m.columns[size_t(i)];
        if (i < 2) {
            out.insert(titles[i], i == 0 ? text.trimmed() : text);
            continue;
        }
        bool ok = false;
        const double number = text.toDouble(&ok);
        out.insert(titles[i], ok ? QJsonValue(number) : QJsonValue());
    }
    return out;
}
} // namespace

QString AnswerMessage::topic(const AnswerRecord& record)
{
    return QStringLiteral("channel/") + QString::number(record[kRow] + 1);
}

QByteArray AnswerMessage::json(const AnswerRecord& record, int length, const QString& terminal,
                               const QString& statusText)
{
    const bool measurement = length == AnswerRecord::kFullLength;
    const int stamp = measurement ? kFullStamp : kShortStamp;
    QJsonObject o;
    o.insert(QStringLiteral("row"), record[kRow] + 1);
    o.insert(QStringLiteral("name"), trimmedName(record, stamp + kStampLength));
    o.insert(QStringLiteral("terminal"), terminal);
    o.insert(QStringLiteral("status"), record[kStatus]);
    o.insert(QStringLiteral("statusText"), statusText);
    const QString time = isoTime(record, stamp);
    o.insert(QStringLiteral("time"), time.isEmpty() ? QJsonValue() : QJsonValue(time));
    o.insert(QStringLiteral("kind"),
             measurement ? QStringLiteral("measurement") : QStringLiteral("status"));
    if (measurement)
        o.insert(QStringLiteral("values"), values(record));
    const QByteArray bytes(reinterpret_cast<const char*>(record.bytes.data()),
                           qBound(0, length, AnswerRecord::kCapacity));
    o.insert(QStringLiteral("record"), QString::fromLatin1(bytes.toHex().toUpper()));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
