#pragma once

#include "modbusregistermap.h"
#include "modbussettings.h"

#include "model/outcome.h"
#include "net/badinputlog.h"
#include "net/connectionlog.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

class Clock;
class LatestAnswers;
class ModbusRegisterServer;
class QTcpSocket;
struct StationState;

// The Modbus TCP service for SCADA hosts: keeps the register image of every
// poll-list row from the latest answers (each receive tick) and the station's
// tables, re-judges freshness twice a second, and serves the image read-only
// through Qt's Modbus TCP server on the event loop. Off while no port is set.
// Clients are capped, kept alive, closed when idle or when they stop taking
// their replies; their comings, goings and bad requests are logged a few
// lines a minute.
class ModbusService : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultClientLimit = 32;
    static constexpr qint64 kIdleSeconds = 120;
    static constexpr int kIdleCheckMs = 10 * 1000;
    static constexpr int kRefreshMs = 500; // half a receive tick
    // Bytes a client's socket may hold between Qt's reads; Qt's own buffer
    // holds at most one frame more (the MBAP length is 16 bits).
    static constexpr qint64 kReadBufferSize = 4096;
    // Replies a client has not taken; beyond this it is closed.
    static constexpr qint64 kReplyBacklogLimit = 64 * 1024;

    ModbusService(const StationState& state, const LatestAnswers& latest, const Clock& clock,
                  QObject* parent = nullptr);
    ~ModbusService() override;

    // Listens as the settings say (nothing when the port is empty); on failure
    // the service is off and the error says why.
    Outcome start(const ModbusSettings& settings);
    void stop();
    bool isListening() const;
    quint16 port() const;
    const ModbusSettings& settings() const { return m_settings; }
    int clientCount() const { return int(m_clients.size()); }
    void setClientLimit(int limit) { m_clientLimit = qMax(1, limit); }
    int clientLimit() const { return m_clientLimit; }

    // The image as served; rebuilt from the tables now.
    void refresh();
    const std::vector<quint16>& registers() const { return m_registers; }
    // Closes the clients that sent no request for kIdleSeconds, as seen by the
    // idle checks (the idle timer's tick).
    void closeIdleClients();

signals:
    // Listening started or stopped, or a client came or went.
    void stateChanged();

private:
    struct Client {
        QPointer<QTcpSocket> socket;
        QString peer; // kept: a closed socket forgets its peer
        // When a request was last seen, as of the idle check that saw it: no
        // clock read per request, which costs a time-zone check each.
        QDateTime lastRequest;
        BadInputLog badInput;
        quint64 reads = 0;     // readyRead events so far
        quint64 readsSeen = 0; // as of the last idle check
    };
    bool admit(QTcpSocket* socket);
    void clientRead(QTcpSocket* socket);
    void clientDisconnected(QTcpSocket* socket);
    void requestRefused(const QString& what);
    Client* find(const QTcpSocket* socket);
    void writeStationBlock(const QDateTime& now);

    const StationState& m_state;
    const LatestAnswers& m_latest;
    const Clock& m_clock;
    const QDateTime m_started;
    ModbusSettings m_settings;
    ModbusRegisterMap::WordOrder m_order = ModbusRegisterMap::WordOrder::ABCD;
    std::vector<quint16> m_registers;
    ModbusRegisterServer* m_server = nullptr;
    std::vector<Client> m_clients;  // at most m_clientLimit
    QPointer<QTcpSocket> m_reading; // the client whose request is being answered
    int m_clientLimit = kDefaultClientLimit;
    qint64 m_refused = 0;          // connections refused in the running episode
    ConnectionLog m_connectionLog; // a few lines a minute about all clients
    QTimer m_refreshTimer;
    QTimer m_idleTimer;
};
