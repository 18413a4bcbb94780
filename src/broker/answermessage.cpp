#include "answermessage.h"

#include "answers/acceptedanswer.h"
#include "model/codepage1251.h"
#include "model/terminalname.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
constexpr int kNameLength = AnswerRecord::kNameLength;

QString isoTime(const AcceptedAnswer::Time& t)
{
    // second, minute, hour, day, month, year - 2000
    const QDate date(2000 + t[5], t[4], t[3]);
    const QTime time(t[2], t[1], t[0]);
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
QJsonObject values(const MeasurementRecord& m)
{
    const QStringList& titles = MeasurementRecord::columnTitles();
    QJsonObject out;
    for (int i = 0; i < MeasurementRecord::kColumnCount; ++i) {
        if (i < 2) {
            const QString& text = m.columns[size_t(i)];
            out.insert(titles[i], i == 0 ? text.trimmed() : text);
            continue;
        }
        out.insert(titles[i], QJsonValue(m.numbers[size_t(i)]));
    }
    return out;
}
} // namespace

QString AnswerMessage::topic(const AcceptedAnswer& answer)
{
    return QStringLiteral("channel/") + QString::number(answer.row + 1);
}

QByteArray AnswerMessage::json(const AcceptedAnswer& answer)
{
    const bool measurement = answer.kind == AcceptedAnswer::Kind::Measurement;
    QJsonObject o;
    o.insert(QStringLiteral("row"), answer.row + 1);
    o.insert(QStringLiteral("name"),
             trimmedName(answer.record,
                         measurement ? AnswerRecord::kFullName : AnswerRecord::kShortName));
    o.insert(QStringLiteral("terminal"), terminalText(answer.terminal));
    o.insert(QStringLiteral("status"), answer.status);
    o.insert(QStringLiteral("statusText"), answer.statusText);
    const QString time = isoTime(answer.time);
    o.insert(QStringLiteral("time"), time.isEmpty() ? QJsonValue() : QJsonValue(time));
    o.insert(QStringLiteral("kind"),
             measurement ? QStringLiteral("measurement") : QStringLiteral("status"));
    if (measurement && answer.measurement)
        o.insert(QStringLiteral("values"), values(*answer.measurement));
    const QByteArray bytes(reinterpret_cast<const char*>(answer.record.bytes.data()),
                           answer.length());
    o.insert(QStringLiteral("record"), QString::fromLatin1(bytes.toHex().toUpper()));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
