#pragma once

#include "brokersettings.h"

#include <QObject>
#include <QThread>
#include <memory>

struct mosquitto;

// One session with the broker through libmosquitto. The library runs its own
// network thread (mosquitto_loop_start): name lookup, connecting, keepalive and
// retries happen there, never on the station's thread. Its callbacks hand over
// to this object's thread through queued calls, tagged with the session they
// belong to so that a late callback of a closed session is ignored.
class BrokerConnection : public QObject {
    Q_OBJECT
public:
    explicit BrokerConnection(QObject* parent = nullptr);
    ~BrokerConnection() override;

    // Starts connecting and returns at once; the library retries until the
    // broker answers. The will is published by the broker if the station
    // vanishes.
    void open(const BrokerSettings& settings, const QString& willTopic,
              const QByteArray& willPayload);
    // Publishes the last words (when connected), disconnects and ends the
    // library's thread.
    void close(const QString& topic = {}, const QByteArray& payload = {});

    bool isOpen() const { return m_mosq != nullptr; }
    bool isConnected() const { return m_connected; }
    // QoS 1. The message id the acknowledgement will carry, or -1.
    int publish(const QString& topic, const QByteArray& payload, bool retain);

signals:
    void connected();
    // The broker answered but refused the session (credentials, client id).
    void refused(const QString& reason);
    // A connected session ended.
    void disconnected();
    // The broker acknowledged message id mid.
    void published(int mid);

private:
    struct Session;
    static void onConnect(mosquitto* mosq, void* userdata, int rc);
    static void onDisconnect(mosquitto* mosq, void* userdata, int rc);
    static void onPublish(mosquitto* mosq, void* userdata, int mid);

    void handleConnect(quint64 generation, int rc);
    void handleDisconnect(quint64 generation);
    void handlePublish(quint64 generation, int mid);

    mosquitto* m_mosq = nullptr;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<QThread> m_starter;
    quint64 m_generation = 0;
    bool m_connected = false;
};
