#include "brokerconnection.h"

#include "brokerlogging.h"

#include <QMetaObject>
#include <chrono>
#include <condition_variable>
#include <mosquitto.h>
#include <mutex>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <thread>
#include <vector>

namespace {
constexpr int kKeepAliveSeconds = 30;
constexpr auto kLastWordsWait = std::chrono::milliseconds(300);
constexpr int kSessionTakenOver = 0x8E;

void initialiseLibrary()
{
    static const int rc = mosquitto_lib_init();
    Q_UNUSED(rc);
}

// OpenSSL's words, as libmosquitto logs them, in a sentence an operator can
// act on.
QString tlsReason(const QString& logged)
{
    const QString text = logged.toLower();
    if (text.contains(QLatin1String("hostname")) || text.contains(QLatin1String("host name")) ||
        text.contains(QLatin1String("ip address mismatch")))
        return QStringLiteral("the broker's certificate is for another name (") + logged + u')';
    if (text.contains(QLatin1String("certificate verify failed")) ||
        text.contains(QLatin1String("verify")))
        return QStringLiteral("certificate verification failed (") + logged + u')';
    if (text.contains(QLatin1String("wrong version number")) ||
        text.contains(QLatin1String("unexpected eof")) ||
        text.contains(QLatin1String("packet length too long")) ||
        text.contains(QLatin1String("record layer failure")))
        return QStringLiteral("no TLS on that port (") + logged + u')';
    return QStringLiteral("TLS failed (") + logged + u')';
}
} // namespace

struct BrokerConnection::Session {
    std::mutex mutex;
    std::condition_variable endedChanged;
    BrokerConnection* owner = nullptr; // null once closed
    mosquitto* mosq = nullptr;         // the owner's to use only while running
    bool running = false;              // connected; the loop runs on the session's thread
    bool closing = false;
    bool ended = false;
    // Written on the session's thread only.
    int connack = -1;
    int disconnectReason = -1;
    QString tlsError;

    std::vector<int> acknowledged; // message ids not yet handed over
    bool acknowledgementsPosted = false;

    // Queues a call on the owner's thread, dropped if the session is closed by then.
    template <class Call> void post(Call call)
    {
        const std::lock_guard lock(mutex);
        postLocked(call);
    }
    template <class Call> void postLocked(Call call)
    {
        if (!owner)
            return;
        BrokerConnection* target = owner;
        const Session* self = this;
        QMetaObject::invokeMethod(
            target,
            [target, self, call] {
                if (target->m_session.get() == self)
                    call(target);
            },
            Qt::QueuedConnection);
    }

    static Session* of(void* userdata) { return static_cast<Session*>(userdata); }
    static void onConnect(mosquitto*, void* userdata, int rc)
    {
        Session* s = of(userdata);
        s->connack = rc;
        s->post([rc](BrokerConnection* c) { c->handleConnect(rc); });
    }
    // The broker's reason comes first; the library may add its own after it.
    static void onDisconnect(mosquitto*, void* userdata, int rc)
    {
        if (of(userdata)->disconnectReason <= 0)
            of(userdata)->disconnectReason = rc;
    }
    // Acknowledgements travel in batches: one queued call for all that came
    // in since the last one was taken.
    static void onPublish(mosquitto*, void* userdata, int mid)
    {
        Session* s = of(userdata);
        const std::lock_guard lock(s->mutex);
        s->acknowledged.push_back(mid);
        if (s->acknowledgementsPosted)
            return;
        s->acknowledgementsPosted = true;
        s->postLocked([](BrokerConnection* c) { c->takeAcknowledgements(); });
    }
    // OpenSSL says only "certificate verify failed"; the handshake, still
    // there while the error is logged, says why.
    static void onLog(mosquitto* mosq, void* userdata, int level, const char* text)
    {
        const QString line = QString::fromUtf8(text);
        if (level != MOSQ_LOG_ERR ||
            !(line.contains(QLatin1String("SSL")) || line.contains(QLatin1String("TLS")) ||
              line.contains(QLatin1String("certificate"))))
            return;
        Session* s = of(userdata);
        const auto* ssl = static_cast<const SSL*>(mosquitto_ssl_get(mosq));
        const long verified = ssl ? SSL_get_verify_result(ssl) : X509_V_OK;
        if (verified != X509_V_OK)
            s->tlsError = QStringLiteral("certificate verify failed: ") +
                          QString::fromUtf8(X509_verify_cert_error_string(verified));
        else if (!s->tlsError.startsWith(QLatin1String("certificate verify failed:")))
            s->tlsError = line;
    }

    void run(mosquitto* client, const QByteArray& hostName, int port);
    void end(mosquitto* client, int rc, bool wasRunning);
};

// On the session's own thread: connect (name lookup included), then the
// network loop until the session ends or is closed.
void BrokerConnection::Session::run(mosquitto* client, const QByteArray& hostName, int port)
{
    int rc = mosquitto_connect(client, hostName.constData(), port, kKeepAliveSeconds);
    {
        const std::lock_guard lock(mutex);
        running = rc == MOSQ_ERR_SUCCESS && !closing;
    }
    if (!running) {
        end(client, rc, false);
        return;
    }
    auto closingSince = std::chrono::steady_clock::time_point();
    while (rc == MOSQ_ERR_SUCCESS) {
        rc = mosquitto_loop(client, 100, 1);
        const std::lock_guard lock(mutex);
        if (!closing)
            continue;
        // A closed session gets a second to send its last words.
        const auto now = std::chrono::steady_clock::now();
        if (closingSince == std::chrono::steady_clock::time_point())
            closingSince = now;
        else if (now - closingSince > std::chrono::seconds(1))
            break;
    }
    end(client, rc, true);
}

void BrokerConnection::Session::end(mosquitto* client, int rc, bool wasRunning)
{
    Failure failure = Failure::Unreachable;
    QString reason;
    if (connack > 0) {
        failure = Failure::Refused;
        reason = QString::fromUtf8(mosquitto_reason_string(connack));
    } else if (disconnectReason == kSessionTakenOver) {
        failure = Failure::TakenOver;
        reason = QString::fromUtf8(mosquitto_reason_string(disconnectReason));
    } else if (connack < 0 && (rc == MOSQ_ERR_TLS || !tlsError.isEmpty())) {
        failure = Failure::Tls;
        reason =
            tlsReason(tlsError.isEmpty() ? QString::fromUtf8(mosquitto_strerror(rc)) : tlsError);
    } else if (connack < 0 && wasRunning) {
        reason = QStringLiteral("the broker closed the connection before answering");
    } else {
        reason = QString::fromUtf8(mosquitto_strerror(rc));
    }
    post([failure, reason](BrokerConnection* c) { c->handleEnd(failure, reason); });
    {
        const std::lock_guard lock(mutex);
        running = false;
        mosq = nullptr;
    }
    mosquitto_destroy(client);
    const std::lock_guard lock(mutex);
    ended = true;
    endedChanged.notify_all();
}

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
    auto session = std::make_shared<Session>();
    const QByteArray id = settings.effectiveClientId().toUtf8();
    mosquitto* client = mosquitto_new(id.constData(), true, session.get());
    if (!client) {
        qCWarning(lcBroker) << "cannot create an MQTT client";
        return;
    }
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_threaded_set(client, true);
    mosquitto_connect_callback_set(client, &Session::onConnect);
    mosquitto_disconnect_callback_set(client, &Session::onDisconnect);
    mosquitto_publish_callback_set(client, &Session::onPublish);
    mosquitto_log_callback_set(client, &Session::onLog);
    const QByteArray will = willTopic.toUtf8();
    mosquitto_will_set(client, will.constData(), int(willPayload.size()), willPayload.constData(),
                       1, true);
    if (!settings.username.isEmpty())
        mosquitto_username_pw_set(
            client, settings.username.toUtf8().constData(),
            settings.password.isEmpty() ? nullptr : settings.password.toUtf8().constData());
    if (!settings.tlsCaFile.trimmed().isEmpty()) {
        // Checked before: a CA that cannot be used never gets this far.
        const int rc = mosquitto_tls_set(client, settings.tlsCaFile.trimmed().toUtf8().constData(),
                                         nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            mosquitto_destroy(client);
            QMetaObject::invokeMethod(
                this,
                [this, rc] {
                    emit failed(Failure::Tls, QStringLiteral("the CA file is not usable: ") +
                                                  QString::fromUtf8(mosquitto_strerror(rc)));
                },
                Qt::QueuedConnection);
            return;
        }
    }
    session->owner = this;
    session->mosq = client;
    m_session = session;
    const QByteArray host = settings.host.trimmed().toUtf8();
    const int port = settings.portNumber().value_or(BrokerSettings::kDefaultPort);
    std::thread([session, client, host, port] { session->run(client, host, port); }).detach();
}

void BrokerConnection::close(const QString& topic, const QByteArray& payload)
{
    if (!m_session)
        return;
    const std::shared_ptr<Session> session = std::move(m_session);
    const bool wasConnected = m_connected;
    m_connected = false;
    std::unique_lock lock(session->mutex);
    session->owner = nullptr;
    session->closing = true;
    if (!session->running || !session->mosq)
        return; // an attempt still under way ends by itself
    if (wasConnected && !topic.isEmpty()) {
        const QByteArray topicBytes = topic.toUtf8();
        mosquitto_publish(session->mosq, nullptr, topicBytes.constData(), int(payload.size()),
                          payload.constData(), 1, true);
    }
    mosquitto_disconnect(session->mosq);
    if (wasConnected)
        session->endedChanged.wait_for(lock, kLastWordsWait, [&] { return session->ended; });
}

int BrokerConnection::publish(const QString& topic, const QByteArray& payload, bool retain, int qos)
{
    if (!m_session || !m_connected)
        return -1;
    const std::lock_guard lock(m_session->mutex);
    if (!m_session->running || !m_session->mosq)
        return -1;
    int mid = 0;
    const QByteArray topicBytes = topic.toUtf8();
    const int rc = mosquitto_publish(m_session->mosq, &mid, topicBytes.constData(),
                                     int(payload.size()), payload.constData(), qos, retain);
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

void BrokerConnection::takeAcknowledgements()
{
    std::vector<int> mids;
    {
        const std::lock_guard lock(m_session->mutex);
        mids.swap(m_session->acknowledged);
        m_session->acknowledgementsPosted = false;
    }
    for (int mid : mids)
        emit published(mid);
}

void BrokerConnection::handleConnect(int rc)
{
    if (rc != 0)
        return; // the session's end reports the refusal
    m_connected = true;
    emit connected();
}

void BrokerConnection::handleEnd(Failure failure, const QString& reason)
{
    m_session.reset();
    m_connected = false;
    emit failed(failure, reason);
}
