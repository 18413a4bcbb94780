#pragma once

#include "brokerconnection.h"
#include "brokersettings.h"
#include "brokerspool.h"

#include "answers/answerconsumer.h"
#include "model/stationlimits.h"

#include <QHash>
#include <QObject>
#include <QTimer>
#include <array>

struct StationState;

// Publishes the station to an MQTT broker: one more consumer of accepted
// answers after the archive and the live service. Each answer goes into the
// spool first and leaves it when the broker acknowledged it; while the broker
// is away the spool keeps them, and they drain in order when it returns.
// Station state ("online", will "offline") and the terminals' port states
// (from the terminal access's portStateChanged) are retained topics. Nothing
// here waits for the network: the connection lives on libmosquitto's thread.
class MqttPublisher : public QObject, public AnswerConsumer {
    Q_OBJECT
public:
    static constexpr int kWindow = 64; // messages handed to the library, not yet acknowledged
    static constexpr int kUnreachableAfterMs = 5000;

    explicit MqttPublisher(StationState& state, qint64 spoolBound = BrokerSpool::kDefaultBound,
                           QObject* parent = nullptr);
    ~MqttPublisher() override;

    // Off while the settings' host is empty.
    void start(const BrokerSettings& settings, const QString& spoolPath);
    void stop();

    void beginTick() override {}
    void accept(const AcceptedAnswer& answer) override;
    void endTick() override {}
    // A terminal's port state as the terminal grid now shows it.
    void publishPortState(int t, const QString& state);

    bool isEnabled() const { return m_enabled; }
    bool isConnected() const { return m_connection.isConnected(); }
    int queued() const { return m_spool.count(); }
    qint64 droppedCount() const { return m_spool.droppedCount(); }
    // The status line the window shows.
    QString statusText() const;

signals:
    void stateChanged();

private:
    void onConnected();
    void onRefused(const QString& reason);
    void onDisconnected();
    void onPublished(int mid);
    void onUnreachableTimeout();
    void drain();
    void publishTerminal(int t);

    StationState& m_state;
    BrokerConnection m_connection;
    BrokerSpool m_spool;
    BrokerSettings m_settings;
    bool m_enabled = false;
    QHash<int, qint64> m_inFlight; // message id -> spool sequence
    qint64 m_nextSeq = 0;          // the first message not yet handed to the library
    QString m_problem;             // logged once per episode
    QTimer m_unreachable;
    std::array<QString, kTerminalCount> m_terminalSent;
    std::array<QString, kTerminalCount> m_portStates;
};
