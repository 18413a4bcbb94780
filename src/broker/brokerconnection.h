#pragma once

#include "brokersettings.h"
#include "hostlookup.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <bitset>
#include <deque>
#include <memory>

class QSslError;
class QTcpSocket;

// One MQTT 5 session with the broker, on this object's thread and socket.
// The name lookup runs apart (HostLookup), the connect, the TLS handshake and
// the traffic are the event loop's: nothing here blocks, and close() waits
// only a moment for a connected session's last words. Publishes are appended
// to the socket's buffer, so a batch leaves in a few writes and a batch of
// acknowledgements is read in one. An attempt that fails, or a session that
// ends, is reported once and not retried here: the caller decides when to try
// again.
class BrokerConnection : public QObject {
    Q_OBJECT
public:
    enum class Failure {
        Unreachable, // lookup, connect or the network failed
        Refused,     // the broker answered but refused the session
        TakenOver,   // another client connected with this client id
        Tls,         // the TLS handshake or the certificate failed
    };
    static constexpr int kKeepAliveSeconds = 30;
    static constexpr int kLastWordsWaitMs = 300;

    explicit BrokerConnection(QObject* parent = nullptr);
    ~BrokerConnection() override;

    // Starts one attempt and returns at once. The will is published by the
    // broker if the station vanishes.
    void open(const BrokerSettings& settings, const QString& willTopic,
              const QByteArray& willPayload);
    // Publishes the last words (when connected) and disconnects. Waits a
    // moment for a connected session to send them, never for an attempt.
    void close(const QString& topic = {}, const QByteArray& payload = {});

    bool isOpen() const { return m_state != State::Idle; }
    bool isConnected() const { return m_state == State::Connected; }
    // The message id the acknowledgement will carry, or -1.
    int publish(const QString& topic, const QByteArray& payload, bool retain, int qos);

signals:
    void connected();
    // The attempt failed or the session ended; reason is for the log.
    void failed(BrokerConnection::Failure failure, const QString& reason);
    // The broker acknowledged message id mid.
    void published(int mid);

private:
    enum class State { Idle, LookingUp, Connecting, Handshaking, Connected };

    void onFound(const QList<QHostAddress>& addresses);
    void connectToNext();
    void onTransportReady();
    void onReadyRead();
    void onSocketError();
    void onSslErrors(const QList<QSslError>& errors);
    void onKeepAlive();
    bool handle(int type, int flags, const QByteArray& body, QList<int>* acknowledged);
    void handleConnack(const QByteArray& body);
    void release(quint16 id, QList<int>* acknowledged);
    quint16 takeId();
    void end(Failure failure, const QString& reason);
    void dropSocket();

    State m_state = State::Idle;
    quint64 m_attempt = 0; // which open() a queued report belongs to
    BrokerSettings m_settings;
    QByteArray m_willTopic;
    QByteArray m_willPayload;
    HostLookup m_lookup;
    QList<QHostAddress> m_addresses;
    int m_addressIndex = 0;
    QTcpSocket* m_socket = nullptr; // a QSslSocket with TLS
    bool m_tls = false;
    bool m_tcpUp = false; // connected, the TLS handshake perhaps still to come
    QString m_certificateProblem;
    QByteArray m_in;
    QByteArray m_packet; // one publish, encoded: kept to keep its buffer
    QTimer m_keepAlive;
    QElapsedTimer m_lastHeard;
    int m_keepAliveSeconds = kKeepAliveSeconds;
    int m_maximumQos = 2;
    int m_receiveMaximum = 65535;
    std::bitset<65536> m_idInUse;
    quint16 m_lastId = 0;
    int m_inFlight = 0;               // QoS 1 and 2 messages the broker holds
    std::deque<QByteArray> m_waiting; // past the broker's receive maximum
};
