#include "mqttpublisher.h"

#include "answermessage.h"
#include "brokerlogging.h"

#include "answers/acceptedanswer.h"
#include "model/stationstate.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSysInfo>

namespace {
const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");
} // namespace

MqttPublisher::MqttPublisher(StationState& state, QObject* parent) : QObject(parent), m_state(state)
{
    m_unreachable.setInterval(kUnreachableAfterMs);
    m_unreachable.setSingleShot(true);
    connect(&m_unreachable, &QTimer::timeout, this, &MqttPublisher::onUnreachableTimeout);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttPublisher::attempt);
    m_markSave.setInterval(kMarkSaveMs);
    connect(&m_markSave, &QTimer::timeout, this, [this] { m_spool.saveAcknowledged(); });
    connect(&m_connection, &BrokerConnection::connected, this, &MqttPublisher::onConnected);
    connect(&m_connection, &BrokerConnection::failed, this, &MqttPublisher::onFailed);
    connect(&m_connection, &BrokerConnection::published, this, &MqttPublisher::onPublished);
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

// The default client id is made once and kept beside the spool, so cloned
// machines with the same host name do not take each other's session.
QString MqttPublisher::storedClientId(const QString& spoolPath)
{
    QFile file(QDir(spoolPath).filePath(QStringLiteral("client-id")));
    if (file.open(QIODevice::ReadOnly)) {
        const QString id = QString::fromUtf8(file.readLine(256)).trimmed();
        if (BrokerSettings::isTopicLevel(id))
            return id;
    }
    QString host = QSysInfo::machineHostName();
    host.remove(u'+').remove(u'#').remove(u'/');
    const QString id =
        QStringLiteral("kx7r-") + (host.isEmpty() ? QStringLiteral("station") : host) + u'-' +
        QString::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, u'0');
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(id.toUtf8() + '\n') < 0)
        qCWarning(lcBroker).noquote() << "cannot store the MQTT client id in" << file.fileName();
    return id;
}

void MqttPublisher::start(const BrokerSettings& settings, const QString& spoolPath)
{
    stop();
    m_settings = settings;
    if (!settings.enabled())
        return;
    m_enabled = true;
    m_problem.clear();
    m_connectedLogged = false;
    m_retryMs = kRetryFirstMs;
    m_attempts = 0;
    m_shortSessions = 0;
    m_blocked = settings.invalidity();
    if (m_blocked.isEmpty())
        m_blocked = settings.tlsProblem();
    QString passwordError;
    m_settings.password = settings.effectivePassword(&passwordError);
    if (m_blocked.isEmpty())
        m_blocked = passwordError;
    if (!m_blocked.isEmpty()) {
        qCWarning(lcBroker).noquote()
            << "not publishing to the MQTT broker" << settings.host.trimmed() << ":" << m_blocked;
        emit stateChanged();
        return;
    }
    m_qos = *settings.qosLevel();
    m_spool.setBound(*settings.spoolBytes());
    m_spool.open(spoolPath);
    if (m_spool.isOpen())
        m_settings.defaultClientId = storedClientId(spoolPath);
    m_nextSeq = m_spool.firstSeq();
    m_topicRoot = m_settings.topicRoot();
    qCInfo(lcBroker).noquote() << "publishing to the MQTT broker" << m_settings.address() << "under"
                               << m_topicRoot + u'#' << "; spool" << spoolPath;
    m_markSave.start();
    attempt();
    emit stateChanged();
}

void MqttPublisher::stop()
{
    if (!m_enabled)
        return;
    m_unreachable.stop();
    m_retry.stop();
    m_markSave.stop();
    m_connection.close(statusTopic(), kOffline);
    m_spool.close();
    m_inFlight.clear();
    m_enabled = false;
    m_blocked.clear();
    emit stateChanged();
}

void MqttPublisher::attempt()
{
    ++m_attempts;
    m_connection.open(m_settings, statusTopic(), kOffline);
    m_unreachable.start();
}

// Once per episode: the first failure of a kind is logged, its repeats are not.
void MqttPublisher::report(const QString& episode, const QString& line)
{
    if (m_problem == episode)
        return;
    m_problem = episode;
    m_connectedLogged = false;
    qCWarning(lcBroker).noquote() << line;
}

void MqttPublisher::retryLater(bool unreachable)
{
    m_unreachable.stop();
    const int cap = unreachable ? kRetryUnreachableMaxMs : kRetryMaxMs;
    m_retry.start(qMin(m_retryMs, cap));
    m_retryMs = qMin(m_retryMs * 2, kRetryMaxMs);
}

void MqttPublisher::beginTick()
{
    m_inTick = true;
}

void MqttPublisher::accept(const AcceptedAnswer& answer)
{
    if (!m_spool.isOpen() || answer.row < 0 || answer.row >= kChannelCount)
        return;
    const ChannelEntry& channel = m_state.channels[size_t(answer.row)];
    AnswerMessage::Context context;
    context.address = channel.blockAddress;
    context.channel = channel.channelNumber;
    context.receivedMs = QDateTime::currentMSecsSinceEpoch();
    if (const qint64 minute = context.receivedMs / 60000; minute != m_offsetMinute) {
        m_offsetMinute = minute;
        m_offset = QDateTime::fromMSecsSinceEpoch(context.receivedMs).offsetFromUtc();
    }
    context.receivedOffset = m_offset;
    m_spool.append(AnswerMessage::compact(answer, context));
    if (!m_inTick)
        flushSpool();
}

void MqttPublisher::endTick()
{
    m_inTick = false;
    if (m_spool.isOpen())
        flushSpool();
}

void MqttPublisher::flushSpool()
{
    m_spool.flush();
    drain();
    emit stateChanged();
}

void MqttPublisher::clearRows(const QList<int>& rows)
{
    if (!m_spool.isOpen())
        return;
    for (int k : rows) {
        if (k < 0 || k >= kChannelCount)
            continue;
        m_spool.append(AnswerMessage::clearing(k, false));
        m_spool.append(AnswerMessage::clearing(k, true));
    }
    flushSpool();
}

void MqttPublisher::publishDiagnostics(int row, const QByteArray& json)
{
    if (row < 0 || row >= kChannelCount || !m_connection.isConnected())
        return;
    m_connection.publish(m_topicRoot + QStringLiteral("diagnostics/") + QString::number(row + 1),
                         json, true, 1);
}

// Hands the next spooled messages to the library, in order, keeping at most
// kWindow unacknowledged so a long backlog is read from disk as it drains.
void MqttPublisher::drain()
{
    if (!m_connection.isConnected())
        return;
    while (m_inFlight.size() < kWindow) {
        qint64 seq = 0;
        QByteArray body;
        if (!m_spool.read(m_nextSeq, &seq, &body))
            return;
        const auto message = AnswerMessage::message(body, seq);
        if (!message) {
            qCWarning(lcBroker) << "queued MQTT message" << seq << "is not one; dropped";
            m_spool.acknowledge(seq);
            m_nextSeq = seq + 1;
            continue;
        }
        const int mid =
            m_connection.publish(m_topicRoot + message->topic, message->payload, true, m_qos);
        if (mid < 0)
            return; // the session is ending; its end resends from the spool
        m_inFlight.insert(mid, seq);
        m_nextSeq = seq + 1;
    }
}

void MqttPublisher::onConnected()
{
    m_unreachable.stop();
    m_sessionAge.start();
    if (!m_connectedLogged)
        qCInfo(lcBroker).noquote()
            << "connected to the MQTT broker" << m_settings.address() << "as"
            << m_settings.effectiveClientId() << ";" << m_spool.count() << "messages queued";
    m_connectedLogged = true;
    m_inFlight.clear();
    m_nextSeq = m_spool.firstSeq();
    m_connection.publish(statusTopic(), kOnline, true, 1);
    m_terminalSent.fill(QString());
    for (int t = 0; t < kTerminalCount; ++t)
        publishTerminal(t);
    drain();
    emit stateChanged();
}

// The library would resend what it holds on its next connection, but not in
// order with what follows and not after a restart: every session starts
// afresh and everything unacknowledged is sent again from the spool, with
// the seq it had.
void MqttPublisher::onFailed(BrokerConnection::Failure failure, const QString& reason)
{
    const bool wasConnected = m_sessionAge.isValid();
    const bool stable = wasConnected && m_sessionAge.elapsed() >= kStableAfterMs;
    m_sessionAge.invalidate();
    if (wasConnected)
        ++m_state.counters.broker.reconnects;
    m_inFlight.clear();
    if (stable) { // a session that held ends an episode
        m_problem.clear();
        m_shortSessions = 0;
        m_retryMs = kRetryFirstMs;
    }
    const QString address = m_settings.address();
    switch (failure) {
    case BrokerConnection::Failure::Refused:
        report(QStringLiteral("refused"),
               QStringLiteral("the MQTT broker %1 refused the connection: %2 - check Username "
                              "and Password under %3 ; answers are queued meanwhile")
                   .arg(address, reason, BrokerSettings::key()));
        break;
    case BrokerConnection::Failure::TakenOver:
        report(QStringLiteral("taken over"),
               QStringLiteral("another client connected to the MQTT broker %1 with the client id "
                              "%2 and took the session; retrying less and less often - give "
                              "each station its own ClientId")
                   .arg(address, m_settings.effectiveClientId()));
        break;
    case BrokerConnection::Failure::Tls:
        report(QStringLiteral("tls"), QStringLiteral("TLS with the MQTT broker %1 failed: %2 ; "
                                                     "no connection without it")
                                          .arg(address, reason));
        m_blocked = reason;
        break;
    case BrokerConnection::Failure::Unreachable:
        // Mosquitto ends a session taken over by another client with the same
        // id without a word: sessions that keep ending as soon as they began
        // are taken as that.
        if (wasConnected && !stable && ++m_shortSessions >= 2)
            report(QStringLiteral("taken over"),
                   QStringLiteral("the MQTT broker %1 keeps ending the session right after it "
                                  "began: another client probably took the session with the "
                                  "client id %2; retrying less and less often - give each "
                                  "station its own ClientId")
                       .arg(address, m_settings.effectiveClientId()));
        else if (wasConnected)
            report(QStringLiteral("lost"),
                   QStringLiteral("lost the MQTT broker %1 (%2); answers are queued until it is "
                                  "back")
                       .arg(address, reason));
        else
            report(QStringLiteral("unreachable"),
                   QStringLiteral("the MQTT broker %1 does not answer (%2); answers are queued "
                                  "until it does")
                       .arg(address, reason));
        break;
    }
    if (failure != BrokerConnection::Failure::Tls)
        m_blocked.clear();
    // A broker that is away costs nothing to ask again soon; one that answers
    // and then ends the session is asked less and less often.
    retryLater(failure == BrokerConnection::Failure::Unreachable && !wasConnected);
    emit stateChanged();
}

// No session yet: the attempt is given up (without waiting for it) and tried
// again, as when a broker accepts and never answers.
void MqttPublisher::onUnreachableTimeout()
{
    if (m_connection.isConnected())
        return;
    m_connection.close();
    report(QStringLiteral("unreachable"),
           QStringLiteral("the MQTT broker %1 does not answer; answers are queued until it does")
               .arg(m_settings.address()));
    retryLater(true);
    emit stateChanged();
}

void MqttPublisher::onPublished(int mid)
{
    const auto it = m_inFlight.constFind(mid);
    if (it == m_inFlight.cend())
        return;
    m_spool.acknowledge(it.value());
    m_inFlight.erase(it);
    ++m_state.counters.broker.published;
    drain();
    if (m_inFlight.isEmpty())
        emit stateChanged();
}

void MqttPublisher::publishPortState(int t, const QString& state)
{
    if (t < 0 || t >= kTerminalCount)
        return;
    m_portStates[size_t(t)] = state;
    publishTerminal(t);
}

void MqttPublisher::publishTerminal(int t)
{
    if (t < 0 || t >= kTerminalCount || !m_connection.isConnected())
        return;
    QJsonObject o;
    o.insert(QStringLiteral("terminal"), t + 1);
    o.insert(QStringLiteral("port"), m_state.terminals[size_t(t)].comName);
    o.insert(QStringLiteral("status"), m_portStates[size_t(t)]);
    const QByteArray json = QJsonDocument(o).toJson(QJsonDocument::Compact);
    if (json == m_terminalSent[size_t(t)].toUtf8())
        return;
    m_terminalSent[size_t(t)] = QString::fromUtf8(json);
    m_connection.publish(m_topicRoot + QStringLiteral("terminal/") + QString::number(t + 1), json,
                         true, 1);
}

QString MqttPublisher::statusText() const
{
    if (!m_enabled)
        return QStringLiteral("MQTT: публикация выключена");
    if (!m_blocked.isEmpty())
        return QStringLiteral("MQTT: не публикуется: ") + m_blocked;
    const QString queued = QStringLiteral(", в очереди: ") + QString::number(m_spool.count());
    if (m_connection.isConnected())
        return QStringLiteral("MQTT: подключен к ") + m_settings.address() + queued;
    return QStringLiteral("MQTT: нет связи с брокером ") + m_settings.address() + queued;
}
