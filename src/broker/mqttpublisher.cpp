#include "mqttpublisher.h"

#include "answermessage.h"
#include "brokerlogging.h"

#include "answers/acceptedanswer.h"
#include "model/stationstate.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");
} // namespace

MqttPublisher::MqttPublisher(StationState& state, qint64 spoolBound, QObject* parent)
    : QObject(parent), m_state(state), m_spool(spoolBound)
{
    m_unreachable.setInterval(kUnreachableAfterMs);
    connect(&m_unreachable, &QTimer::timeout, this, &MqttPublisher::onUnreachableTimeout);
    connect(&m_connection, &BrokerConnection::connected, this, &MqttPublisher::onConnected);
    connect(&m_connection, &BrokerConnection::refused, this, &MqttPublisher::onRefused);
    connect(&m_connection, &BrokerConnection::disconnected, this, &MqttPublisher::onDisconnected);
    connect(&m_connection, &BrokerConnection::published, this, &MqttPublisher::onPublished);
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

void MqttPublisher::start(const BrokerSettings& settings, const QString& spoolPath)
{
    stop();
    m_settings = settings;
    if (!settings.enabled())
        return;
    m_enabled = true;
    m_spool.open(spoolPath);
    m_nextSeq = m_spool.firstSeq();
    m_problem.clear();
    qCInfo(lcBroker).noquote() << "publishing to the MQTT broker" << settings.address() << "under"
                               << settings.topicRoot() + u'#' << "; spool" << spoolPath;
    m_connection.open(settings, settings.topicRoot() + QStringLiteral("status"), kOffline);
    m_unreachable.start();
    emit stateChanged();
}

void MqttPublisher::stop()
{
    if (!m_enabled)
        return;
    m_unreachable.stop();
    m_connection.close(m_settings.topicRoot() + QStringLiteral("status"), kOffline);
    m_spool.close();
    m_inFlight.clear();
    m_enabled = false;
    emit stateChanged();
}

void MqttPublisher::accept(const AcceptedAnswer& answer)
{
    if (!m_enabled || answer.row < 0 || answer.row >= kChannelCount)
        return;
    m_spool.append(AnswerMessage::topic(answer), AnswerMessage::json(answer));
    drain();
    emit stateChanged();
}

// Hands the next spooled messages to the library, in order, keeping at most
// kWindow unacknowledged so a long backlog is read from disk as it drains.
void MqttPublisher::drain()
{
    if (!m_connection.isConnected())
        return;
    m_nextSeq = qMax(m_nextSeq, m_spool.firstSeq()); // the bound may have dropped some
    while (m_inFlight.size() < kWindow && m_nextSeq < m_spool.endSeq()) {
        QString topic;
        QByteArray payload;
        if (!m_spool.read(m_nextSeq, &topic, &payload)) {
            qCWarning(lcBroker) << "cannot read queued MQTT message" << m_nextSeq;
            m_spool.acknowledge(m_nextSeq++);
            continue;
        }
        const int mid = m_connection.publish(m_settings.topicRoot() + topic, payload, true);
        if (mid < 0)
            return; // the session is ending; its end resends from the spool
        m_inFlight.insert(mid, m_nextSeq++);
    }
}

void MqttPublisher::onConnected()
{
    m_unreachable.stop();
    qCInfo(lcBroker).noquote() << "connected to the MQTT broker" << m_settings.address() << ";"
                               << m_spool.count() << "messages queued";
    m_problem.clear();
    m_connection.publish(m_settings.topicRoot() + QStringLiteral("status"), kOnline, true);
    m_terminalSent.fill(QString());
    for (int t = 0; t < kTerminalCount; ++t)
        publishTerminal(t);
    drain();
    emit stateChanged();
}

void MqttPublisher::onRefused(const QString& reason)
{
    const QString problem = QStringLiteral("refused");
    if (m_problem != problem)
        qCWarning(lcBroker).noquote()
            << "the MQTT broker" << m_settings.address() << "refused the connection:" << reason
            << "- check Username and Password under" << BrokerSettings::key()
            << "; answers are queued meanwhile";
    m_problem = problem;
}

// The library would resend what it holds on its next connection, but not in
// order with what follows and not after a restart: the session is renewed and
// everything unacknowledged is sent again from the spool.
void MqttPublisher::onDisconnected()
{
    qCWarning(lcBroker).noquote() << "lost the MQTT broker" << m_settings.address()
                                  << "; answers are queued until it is back";
    m_problem = QStringLiteral("lost");
    ++m_state.counters.broker.reconnects;
    m_inFlight.clear();
    m_nextSeq = m_spool.firstSeq();
    m_connection.open(m_settings, m_settings.topicRoot() + QStringLiteral("status"), kOffline);
    m_unreachable.start();
    emit stateChanged();
}

// Still no session: a fresh attempt, since the library's own retries do not
// recover from every failed first connect.
void MqttPublisher::onUnreachableTimeout()
{
    if (m_connection.isConnected()) {
        m_unreachable.stop();
        return;
    }
    if (m_problem.isEmpty())
        qCWarning(lcBroker).noquote() << "the MQTT broker" << m_settings.address()
                                      << "does not answer; answers are queued until it does";
    if (m_problem.isEmpty())
        m_problem = QStringLiteral("unreachable");
    m_connection.open(m_settings, m_settings.topicRoot() + QStringLiteral("status"), kOffline);
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
    m_connection.publish(
        m_settings.topicRoot() + QStringLiteral("terminal/") + QString::number(t + 1), json, true);
}

QString MqttPublisher::statusText() const
{
    if (!m_enabled)
        return QStringLiteral("MQTT: публикация выключена");
    const QString queued = QStringLiteral(", в очереди: ") + QString::number(m_spool.count());
    if (m_connection.isConnected())
        return QStringLiteral("MQTT: подключен к ") + m_settings.address() + queued;
    return QStringLiteral("MQTT: нет связи с брокером ") + m_settings.address() + queued;
}
