#pragma once

#include "brokersettings.h"

#include <QObject>
#include <memory>

// One session with the broker through libmosquitto (MQTT 5, so the broker
// says why it ends a session). Each attempt runs on a thread of its own: the
// name lookup, the connect and the TLS handshake may take as long as they
// like, and neither this object's thread nor close() ever waits for them. An
// attempt that fails, or a session that ends, is reported once and not
// retried here: the caller decides when to try again. Callbacks hand over to
// this object's thread through queued calls; those of a closed session are
// dropped.
class BrokerConnection : public QObject {
    Q_OBJECT
public:
    enum class Failure {
        Unreachable, // lookup, connect or the network failed
        Refused,     // the broker answered but refused the session
        TakenOver,   // another client connected with this client id
        Tls,         // the TLS handshake or the certificate failed
    };

    explicit BrokerConnection(QObject* parent = nullptr);
    ~BrokerConnection() override;

    // Starts one attempt and returns at once. The will is published by the
    // broker if the station vanishes.
    void open(const BrokerSettings& settings, const QString& willTopic,
              const QByteArray& willPayload);
    // Publishes the last words (when connected) and disconnects. Waits a
    // moment for a connected session to send them, never for an attempt.
    void close(const QString& topic = {}, const QByteArray& payload = {});

    bool isOpen() const { return m_session != nullptr; }
    bool isConnected() const { return m_connected; }
    // The message id the acknowledgement will carry, or -1.
    int publish(const QString& topic, const QByteArray& payload, bool retain, int qos);

signals:
    void connected();
    // The attempt failed or the session ended; reason is for the log.
    void failed(BrokerConnection::Failure failure, const QString& reason);
    // The broker acknowledged message id mid.
    void published(int mid);

private:
    struct Session;
    void handleConnect(int rc);
    void takeAcknowledgements();
    void handleEnd(Failure failure, const QString& reason);

    std::shared_ptr<Session> m_session;
    bool m_connected = false;
};
