#include "channeldiagnostics.h"

#include "model/channelcounters.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
// Local time with the offset then in force, as every other published time.
QString withOffset(qint64 msecs)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecs);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}
} // namespace

QByteArray ChannelDiagnostics::json(int row, const QString& name, const ChannelCounters& counters)
{
    QJsonObject o;
    o.insert(QStringLiteral("row"), row + 1);
    o.insert(QStringLiteral("name"), name);
    o.insert(QStringLiteral("requests"), qint64(counters.requestsSent));
    o.insert(QStringLiteral("forwardedRequests"), qint64(counters.forwardedRequests));
    o.insert(QStringLiteral("measurements"), qint64(counters.measurementsAccepted));
    o.insert(QStringLiteral("statusAnswers"), qint64(counters.statusAnswersAccepted));
    o.insert(QStringLiteral("timeouts"), qint64(counters.timeouts));
    o.insert(QStringLiteral("answeredShare"), counters.answeredShare());
    o.insert(QStringLiteral("lastAnswer"),
             counters.lastAcceptedMsecs == 0 ? QJsonValue(QJsonValue::Null)
                                             : QJsonValue(withOffset(counters.lastAcceptedMsecs)));
    o.insert(QStringLiteral("responses"), qint64(counters.responseTime.count));
    o.insert(QStringLiteral("responseSumMs"), qint64(counters.responseTime.sumMs));
    o.insert(QStringLiteral("responseLastMs"), qint64(counters.responseTime.lastMs));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
