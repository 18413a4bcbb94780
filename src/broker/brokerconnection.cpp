#include "brokerconnection.h"

#include "brokerlogging.h"

#include <mosquitto.h>

namespace {
constexpr int kKeepAliveSeconds = 30;
constexpr unsigned kRetryFirstSeconds = 1;
constexpr unsigned kRetryMaxSeconds = 5;

void initialiseLibrary()
{
    static const int rc = mosquitto_lib_init();
    Q_UNUSED(rc);
}
} // namespace

struct BrokerConnection::Session {
    BrokerConnection* owner;
    quint64 generation;
};

BrokerConnection::BrokerConnection(QObject* parent) : QObject(parent)
{
    initialiseLibrary();
}

BrokerConnection::~BrokerConnection()
{
    close();
}

void BrokerConnection::open(const BrokerSettings& settings, const QString& willTopic,
                            const QByteArray& willPayload)
{
    close();
    m_session = std::make_unique<Session>(Session{this, ++m_generation});
    const QByteArray id = settings.effectiveClientId().toUtf8();
    m_mosq = mosquitto_new(id.constData(), true, m_session.get());
    if (!m_mosq) {
        qCWarning(lcBroker) << "cannot create an MQTT client";
        m_session.reset();
        return;
    }
    mosquitto_connect_callback_set(m_mosq, &BrokerConnection::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &BrokerConnection::onDisconnect);
    mosquitto_publish_callback_set(m_mosq, &BrokerConnection::onPublish);
    mosquitto_reconnect_delay_set(m_mosq, kRetryFirstSeconds, kRetryMaxSeconds, false);

    const QByteArray will = willTopic.toUtf8();
    mosquitto_will_set(m_mosq, will.constData(), int(willPayload.size()), willPayload.constData(),
                       1, true);
    if (!settings.username.isEmpty())
        mosquitto_username_pw_set(
            m_mosq, settings.username.toUtf8().constData(),
            settings.password.isEmpty() ? nullptr : settings.password.toUtf8().constData());
    if (!settings.tlsCaFile.trimmed().isEmpty()) {
        const int rc = mosquitto_tls_set(m_mosq, settings.tlsCaFile.trimmed().toUtf8().constData(),
                                         nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            qCWarning(lcBroker).noquote() << "MQTT TLS CA file" << settings.tlsCaFile
                                          << "is not usable:" << mosquitto_strerror(rc);
    }

    // Even the first name lookup may take seconds: it runs on a helper thread,
    // which then hands the client to the library's own thread.
    const QByteArray host = settings.host.trimmed().toUtf8();
    const int port = settings.portNumber().value_or(BrokerSettings::kDefaultPort);
    mosquitto* mosq = m_mosq;
    m_starter.reset(QThread::create([mosq, host, port] {
        mosquitto_connect_async(mosq, host.constData(), port, kKeepAliveSeconds);
        mosquitto_loop_start(mosq);
    }));
    m_starter->start();
}

void BrokerConnection::close(const QString& topic, const QByteArray& payload)
{
    if (!m_mosq)
        return;
    m_starter->wait();
    const bool wasConnected = m_connected;
    if (wasConnected && !topic.isEmpty())
        publish(topic, payload, true);
    mosquitto_disconnect(m_mosq);
    // A connected loop ends by itself once the disconnect is sent; one waiting
    // to retry is cancelled.
    mosquitto_loop_stop(m_mosq, !wasConnected);
    mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_session.reset();
    m_starter.reset();
    ++m_generation;
    m_connected = false;
}

int BrokerConnection::publish(const QString& topic, const QByteArray& payload, bool retain)
{
    if (!m_mosq)
        return -1;
    int mid = 0;
    const QByteArray topicBytes = topic.toUtf8();
    const int rc = mosquitto_publish(m_mosq, &mid, topicBytes.constData(), int(payload.size()),
                                     payload.constData(), 1, retain);
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

// The three callbacks run on the library's thread.
void BrokerConnection::onConnect(mosquitto*, void* userdata, int rc)
{
    const Session session = *static_cast<Session*>(userdata);
    QMetaObject::invokeMethod(
        session.owner, [session, rc] { session.owner->handleConnect(session.generation, rc); },
        Qt::QueuedConnection);
}

void BrokerConnection::onDisconnect(mosquitto*, void* userdata, int)
{
    const Session session = *static_cast<Session*>(userdata);
    QMetaObject::invokeMethod(
        session.owner, [session] { session.owner->handleDisconnect(session.generation); },
        Qt::QueuedConnection);
}

void BrokerConnection::onPublish(mosquitto*, void* userdata, int mid)
{
    const Session session = *static_cast<Session*>(userdata);
    QMetaObject::invokeMethod(
        session.owner, [session, mid] { session.owner->handlePublish(session.generation, mid); },
        Qt::QueuedConnection);
}

void BrokerConnection::handleConnect(quint64 generation, int rc)
{
    if (generation != m_generation)
        return;
    if (rc != 0) {
        emit refused(QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    m_connected = true;
    emit connected();
}

void BrokerConnection::handleDisconnect(quint64 generation)
{
    if (generation != m_generation || !m_connected)
        return;
    m_connected = false;
    emit disconnected();
}

void BrokerConnection::handlePublish(quint64 generation, int mid)
{
    if (generation == m_generation)
        emit published(mid);
}
