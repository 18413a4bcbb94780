#pragma once

#include "brokerconnection.h"
#include "brokersettings.h"
#include "brokerspool.h"

#include "answers/answerconsumer.h"
#include "model/stationlimits.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <array>

struct StationState;

// Publishes the station to an MQTT broker: one more consumer of accepted
// answers after the archive and the live service. Each answer goes into the
// spool first (one write per receive tick) and leaves it when the broker
// acknowledged it; while the broker is away the spool keeps them, and they
// drain in order when it returns, each copy with the answer's own seq.
// Station state ("online", will "offline") and the terminals' port states
// (from the terminal access's portStateChanged) are retained topics. Nothing
// here waits for the network (the connection never blocks), and failures are
// retried after a delay that doubles while they go on.
class MqttPublisher : public QObject, public AnswerConsumer {
    Q_OBJECT
public:
    static constexpr int kWindow = 64; // messages handed to the library, not yet acknowledged
    static constexpr int kUnreachableAfterMs = 5000;
    static constexpr int kRetryFirstMs = 500;
    static constexpr int kRetryMaxMs = 60000;
    static constexpr int kRetryUnreachableMaxMs = 2000; // costs nobody anything: come back soon
    static constexpr int kStableAfterMs = 30000;        // a session this long ends an episode
    static constexpr int kMarkSaveMs = 1000;

    explicit MqttPublisher(StationState& state, QObject* parent = nullptr);
    ~MqttPublisher() override;

    // Off while the settings' host is empty. Settings that cannot be used
    // publish nothing and say why in the log and the status line.
    void start(const BrokerSettings& settings, const QString& spoolPath);
    void stop();

    void beginTick() override;
    void accept(const AcceptedAnswer& answer) override;
    void endTick() override;
    // A terminal's port state as the terminal grid now shows it.
    void publishPortState(int t, const QString& state);
    // Rows (k) emptied or given to another tank: their retained messages go.
    void clearRows(const QList<int>& rows);
    // Row k's counters, retained on diagnostics/<k + 1> while connected; not
    // spooled: the next one replaces it anyway.
    void publishDiagnostics(int row, const QByteArray& json);

    bool isEnabled() const { return m_enabled; }
    bool isConnected() const { return m_connection.isConnected(); }
    int queued() const { return m_spool.count(); }
    qint64 droppedCount() const { return m_spool.droppedCount(); }
    QString clientId() const { return m_settings.effectiveClientId(); }
    // The status line the window shows.
    QString statusText() const;

signals:
    void stateChanged();

private:
    void onConnected();
    void onFailed(BrokerConnection::Failure failure, const QString& reason);
    void onPublished(int mid);
    void onUnreachableTimeout();
    void attempt();
    void retryLater(bool unreachable);
    void report(const QString& episode, const QString& line);
    void flushSpool();
    void drain();
    void publishTerminal(int t);
    QString statusTopic() const { return m_topicRoot + QStringLiteral("status"); }
    static QString storedClientId(const QString& spoolPath);

    StationState& m_state;
    BrokerConnection m_connection;
    BrokerSpool m_spool;
    BrokerSettings m_settings;
    QString m_topicRoot; // made once: every message's topic starts with it
    bool m_enabled = false;
    bool m_inTick = false;
    QString m_blocked;             // why nothing is published, while settings are unusable
    QHash<int, qint64> m_inFlight; // message id -> spool sequence
    qint64 m_nextSeq = 0;          // the first message not yet handed to the library
    QString m_problem;             // the episode under way, logged once
    bool m_connectedLogged = false;
    int m_retryMs = kRetryFirstMs;
    int m_attempts = 0;
    int m_shortSessions = 0; // sessions that ended soon after they began, this episode
    int m_qos = 1;
    QTimer m_unreachable;
    QTimer m_retry;
    QTimer m_markSave;
    QElapsedTimer m_sessionAge;
    qint64 m_offsetMinute = -1; // the minute m_offset belongs to
    int m_offset = 0;
    std::array<QString, kTerminalCount> m_terminalSent;
    std::array<QString, kTerminalCount> m_portStates;
};
