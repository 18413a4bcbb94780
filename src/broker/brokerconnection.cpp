#include "brokerconnection.h"

#include "brokerlogging.h"
#include "mqttpacket.h"

#include <QMetaObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>

namespace {
constexpr int kStaleFactorPercent = 150; // silent this long past the keep-alive: gone
} // namespace

BrokerConnection::BrokerConnection(QObject* parent) : QObject(parent)
{
    connect(&m_lookup, &HostLookup::found, this, &BrokerConnection::onFound);
    connect(&m_lookup, &HostLookup::notFound, this, [this](const QString& reason) {
        if (m_state == State::LookingUp)
            end(Failure::Unreachable, reason);
    });
    connect(&m_keepAlive, &QTimer::timeout, this, &BrokerConnection::onKeepAlive);
}

BrokerConnection::~BrokerConnection()
{
    close();
}

void BrokerConnection::open(const BrokerSettings& settings, const QString& willTopic,
                            const QByteArray& willPayload)
{
    close();
    m_settings = settings;
    m_willTopic = willTopic.toUtf8();
    m_willPayload = willPayload;
    m_tls = !settings.tlsCaFile.trimmed().isEmpty();
    m_state = State::LookingUp;
    const quint64 attempt = ++m_attempt;
    QString unusable;
    if (m_tls && !QSslSocket::supportsSsl())
        unusable = QStringLiteral("this system offers no TLS");
    else if (m_tls && QSslCertificate::fromPath(settings.tlsCaFile.trimmed()).isEmpty())
        unusable = QStringLiteral("the CA file is not usable: it holds no certificate");
    if (!unusable.isEmpty()) {
        // Reported as every failure is: later, not from within the call.
        QMetaObject::invokeMethod(
            this,
            [this, attempt, unusable] {
                if (m_attempt == attempt && m_state == State::LookingUp)
                    end(Failure::Tls, unusable);
            },
            Qt::QueuedConnection);
        return;
    }
    m_lookup.lookUp(settings.host.trimmed());
}

void BrokerConnection::onFound(const QList<QHostAddress>& addresses)
{
    if (m_state != State::LookingUp)
        return;
    m_addresses = addresses;
    m_addressIndex = 0;
    connectToNext();
}

void BrokerConnection::connectToNext()
{
    dropSocket();
    m_state = State::Connecting;
    m_tcpUp = false;
    m_certificateProblem.clear();
    // A plain session needs no TLS library loaded.
    QSslSocket* tlsSocket = m_tls ? new QSslSocket(this) : nullptr;
    m_socket = tlsSocket ? tlsSocket : new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_tcpUp = true;
        if (!m_tls)
            onTransportReady();
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &BrokerConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &BrokerConnection::onSocketError);
    connect(m_socket, &QTcpSocket::disconnected, this, &BrokerConnection::onSocketError);
    const QHostAddress address = m_addresses.value(m_addressIndex);
    const quint16 port = m_settings.portNumber().value_or(BrokerSettings::kDefaultPort);
    if (!tlsSocket) {
        m_socket->connectToHost(address, port);
        return;
    }
    connect(tlsSocket, &QSslSocket::encrypted, this, &BrokerConnection::onTransportReady);
    connect(tlsSocket, qOverload<const QList<QSslError>&>(&QSslSocket::sslErrors), this,
            &BrokerConnection::onSslErrors);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(QSslCertificate::fromPath(m_settings.tlsCaFile.trimmed()));
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    tlsSocket->setSslConfiguration(tls);
    // The address is connected to; the certificate must name the host as configured.
    tlsSocket->connectToHostEncrypted(address.toString(), port, m_settings.host.trimmed());
}

void BrokerConnection::onTransportReady()
{
    if (m_state != State::Connecting)
        return;
    m_state = State::Handshaking;
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    MqttPacket::Login login;
    login.clientId = m_settings.effectiveClientId().toUtf8();
    login.hasUsername = !m_settings.username.isEmpty();
    login.username = m_settings.username.toUtf8();
    login.hasPassword = login.hasUsername && !m_settings.password.isEmpty();
    login.password = m_settings.password.toUtf8();
    login.keepAliveSeconds = kKeepAliveSeconds;
    QByteArray packet;
    MqttPacket::appendConnect(packet, login, {m_willTopic, m_willPayload});
    m_socket->write(packet);
    m_lastHeard.start();
}

// Everything that came in at once is handled at once: the acknowledgements
// of a batch are handed on together, after the packets that answer them
// have been queued.
void BrokerConnection::onReadyRead()
{
    if (!m_socket)
        return;
    m_in += m_socket->readAll();
    m_lastHeard.start();
    QList<int> acknowledged;
    MqttPacket::Read packet;
    for (;;) {
        const MqttPacket::Take taken = MqttPacket::take(m_in, &packet);
        if (taken == MqttPacket::Take::NeedMore)
            break;
        if (taken == MqttPacket::Take::Broken ||
            !handle(packet.type, packet.flags, packet.body, &acknowledged)) {
            if (m_state != State::Idle)
                end(Failure::Unreachable, QStringLiteral("the broker sent what is not MQTT"));
            break;
        }
        if (m_state == State::Idle)
            break;
    }
    for (int mid : acknowledged)
        emit published(mid);
}

// False when the packet breaks the protocol.
bool BrokerConnection::handle(int type, int flags, const QByteArray& body, QList<int>* acknowledged)
{
    quint16 id = 0;
    quint8 reason = 0;
    QByteArray reply;
    switch (type) {
    case MqttPacket::Connack:
        if (m_state != State::Handshaking)
            return false;
        handleConnack(body);
        return true;
    case MqttPacket::Puback:
    case MqttPacket::Pubcomp:
        if (!MqttPacket::parseAcknowledgement(body, &id, &reason))
            return false;
        release(id, acknowledged);
        return true;
    case MqttPacket::Pubrec:
        if (!MqttPacket::parseAcknowledgement(body, &id, &reason))
            return false;
        if (reason >= 0x80)
            release(id, acknowledged); // refused: the exchange ends here
        else
            MqttPacket::appendAcknowledgement(reply, MqttPacket::Pubrel, id);
        break;
    case MqttPacket::Publish: { // never subscribed; answered so the broker lets it go
        const int qos = (flags >> 1) & 3;
        const qsizetype topicLength =
            body.size() >= 2 ? (quint8(body[0]) << 8 | quint8(body[1])) : 0;
        if (qos > 0 && body.size() >= topicLength + 4) {
            id = quint16(quint8(body[topicLength + 2]) << 8 | quint8(body[topicLength + 3]));
            MqttPacket::appendAcknowledgement(
                reply, qos == 1 ? MqttPacket::Puback : MqttPacket::Pubrec, id);
        }
        break;
    }
    case MqttPacket::Pubrel:
        if (!MqttPacket::parseAcknowledgement(body, &id, &reason))
            return false;
        MqttPacket::appendAcknowledgement(reply, MqttPacket::Pubcomp, id);
        break;
    case MqttPacket::Pingresp:
    case MqttPacket::Auth:
        return true;
    case MqttPacket::Disconnect: {
        QString text;
        MqttPacket::parseDisconnect(body, &reason, &text);
        if (text.isEmpty())
            text = MqttPacket::reasonName(reason);
        if (reason == MqttPacket::kSessionTakenOver)
            end(Failure::TakenOver, text);
        else
            end(Failure::Unreachable, QStringLiteral("the broker ended the session: ") + text);
        return true;
    }
    default:
        return false;
    }
    if (!reply.isEmpty())
        m_socket->write(reply);
    return true;
}

void BrokerConnection::handleConnack(const QByteArray& body)
{
    MqttPacket::ConnackFields connack;
    if (!MqttPacket::parseConnack(body, &connack)) {
        end(Failure::Unreachable, QStringLiteral("the broker's answer to the connect is not MQTT"));
        return;
    }
    if (connack.reason >= 0x80) {
        end(Failure::Refused, connack.reasonString.isEmpty()
                                  ? MqttPacket::reasonName(connack.reason)
                                  : connack.reasonString);
        return;
    }
    m_receiveMaximum = connack.receiveMaximum;
    m_maximumQos = connack.maximumQos;
    m_keepAliveSeconds = connack.serverKeepAlive >= 0 ? connack.serverKeepAlive : kKeepAliveSeconds;
    if (m_keepAliveSeconds > 0)
        m_keepAlive.start(qMax(1, m_keepAliveSeconds / 2) * 1000);
    m_state = State::Connected;
    emit connected();
}

// A message the broker is done with; the next waiting one takes its place.
void BrokerConnection::release(quint16 id, QList<int>* acknowledged)
{
    if (id == 0 || !m_idInUse.test(id))
        return;
    m_idInUse.reset(id);
    --m_inFlight;
    acknowledged->append(id);
    // Refilled by halves: a batch leaves in one write, not one per acknowledgement.
    if (m_inFlight > m_receiveMaximum / 2)
        return;
    while (!m_waiting.empty() && m_inFlight < m_receiveMaximum) {
        m_socket->write(m_waiting.front());
        m_waiting.pop_front();
        ++m_inFlight;
    }
}

quint16 BrokerConnection::takeId()
{
    for (int tries = 0; tries < 65535; ++tries) {
        m_lastId = m_lastId == 65535 ? 1 : quint16(m_lastId + 1);
        if (!m_idInUse.test(m_lastId)) {
            m_idInUse.set(m_lastId);
            return m_lastId;
        }
    }
    return 0;
}

int BrokerConnection::publish(const QString& topic, const QByteArray& payload, bool retain, int qos)
{
    if (m_state != State::Connected)
        return -1;
    qos = qBound(0, qos, m_maximumQos);
    const quint16 id = takeId();
    if (id == 0)
        return -1;
    m_packet.resize(0);
    MqttPacket::appendPublish(m_packet, topic.toUtf8(), payload, qos, retain, id);
    if (qos == 0) {
        // Nothing will acknowledge it: done once it is written.
        m_socket->write(m_packet);
        QMetaObject::invokeMethod(
            this,
            [this, id, attempt = m_attempt] {
                if (m_attempt != attempt || m_state != State::Connected)
                    return; // a later session may use the id by now
                m_idInUse.reset(id);
                emit published(id);
            },
            Qt::QueuedConnection);
    } else if (m_waiting.empty() && m_inFlight < m_receiveMaximum) { // in order
        m_socket->write(m_packet);
        ++m_inFlight;
    } else {
        m_waiting.push_back(m_packet);
    }
    return id;
}

void BrokerConnection::onKeepAlive()
{
    if (m_state != State::Connected)
        return;
    if (m_lastHeard.elapsed() > qint64(m_keepAliveSeconds) * 10 * kStaleFactorPercent) {
        end(Failure::Unreachable, QStringLiteral("the broker stopped answering"));
        return;
    }
    QByteArray ping;
    MqttPacket::appendPingreq(ping);
    m_socket->write(ping);
}

void BrokerConnection::onSslErrors(const QList<QSslError>& errors)
{
    const QSslError* other = nullptr;
    const QSslError* name = nullptr;
    for (const QSslError& e : errors) {
        if (e.error() == QSslError::HostNameMismatch)
            name = &e;
        else if (!other)
            other = &e;
    }
    if (other)
        m_certificateProblem =
            QStringLiteral("certificate verification failed (") + other->errorString() + u')';
    else if (name)
        m_certificateProblem = QStringLiteral("the broker's certificate is for another name (") +
                               name->errorString() + u')';
}

void BrokerConnection::onSocketError()
{
    if (!m_socket || m_state == State::Idle)
        return;
    const QString text = m_socket->errorString();
    switch (m_state) {
    case State::Connecting:
        if (m_tls && m_tcpUp)
            end(Failure::Tls, !m_certificateProblem.isEmpty()
                                  ? m_certificateProblem
                                  : QStringLiteral("no TLS on that port (") + text + u')');
        else if (++m_addressIndex < m_addresses.size())
            connectToNext();
        else
            end(Failure::Unreachable, text);
        return;
    case State::Handshaking:
        end(Failure::Unreachable,
            m_socket->error() == QAbstractSocket::RemoteHostClosedError
                ? QStringLiteral("the broker closed the connection before answering")
                : text);
        return;
    default:
        end(Failure::Unreachable, text);
    }
}

void BrokerConnection::end(Failure failure, const QString& reason)
{
    if (m_state == State::Idle)
        return;
    m_state = State::Idle;
    dropSocket();
    emit failed(failure, reason);
}

// Forgets the session's socket and everything in flight on it.
void BrokerConnection::dropSocket()
{
    m_lookup.cancel();
    m_keepAlive.stop();
    m_in.clear();
    m_waiting.clear();
    m_idInUse.reset();
    m_inFlight = 0;
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

void BrokerConnection::close(const QString& topic, const QByteArray& payload)
{
    if (m_state == State::Idle)
        return;
    if (m_state == State::Connected) {
        QByteArray last;
        if (!topic.isEmpty())
            MqttPacket::appendPublish(last, topic.toUtf8(), payload, 1, true, takeId());
        MqttPacket::appendDisconnect(last);
        m_socket->write(last);
        // The wait handles the socket's events itself: none of them may end
        // the session under it.
        m_socket->disconnect(this);
        QElapsedTimer waited;
        waited.start();
        while (m_socket->bytesToWrite() > 0 && waited.elapsed() < kLastWordsWaitMs)
            if (!m_socket->waitForBytesWritten(int(kLastWordsWaitMs - waited.elapsed())))
                break;
    }
    m_state = State::Idle;
    dropSocket();
}
