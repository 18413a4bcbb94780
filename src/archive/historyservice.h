#pragma once

#include "historyprotocol.h"

#include "model/outcome.h"
#include "net/badinputlog.h"
#include "net/connectionlog.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>

class ArchiveReader;
class Clock;
class QFile;
class QTcpServer;
class QTcpSocket;
class SettingsStore;
struct StationState;

// The history TCP service ServerSocketRefreshHistory (port 5001): one client at a
// time identifies itself, selects a period (through the archive reader) and
// fetches its archive files newest first, each streamed from disk as the peer
// takes it. Its connection is listed in tblCurrentConnectionsForUpdate.
class HistoryService : public QObject {
    Q_OBJECT
public:
    static constexpr int kIdCount = HistoryProtocol::kIdCount;
    static constexpr qint64 kChunkSize = 64 * 1024;
    // Replies a client may leave unread; past this the connection is closed.
    static constexpr qint64 kReplyBacklogLimit = 64 * 1024;
    // A connection with no request for this long, and no file on its way, is closed.
    static constexpr qint64 kIdleSeconds = 10 * 60;
    static constexpr int kIdleCheckMs = 30 * 1000;

    HistoryService(StationState& state, const SettingsStore& settings, const ArchiveReader& reader,
                   const Clock& clock, QObject* parent = nullptr);
    ~HistoryService() override;

    Outcome listen(quint16 port, const QHostAddress& address = QHostAddress::Any);
    void stop();
    bool isListening() const;
    quint16 port() const;

    void ServerSocketRefreshHistoryClientConnect(QTcpSocket* socket);
    void ServerSocketRefreshHistoryClientDisconnect(QTcpSocket* socket);
    void ServerSocketRefreshHistoryClientRead(QTcpSocket* socket);
    void ServerSocketRefreshHistoryClientError(QTcpSocket* socket,
                                               QAbstractSocket::SocketError error);
    // Closes the connection when it has been idle too long (the idle timer's tick).
    void ServerSocketRefreshHistoryIdleCheck();

    const HistorySelection& selection(int id) const { return m_protocol.selection(id); }
    bool isSending() const { return m_transfer != nullptr; }

private:
    void acceptPending();
    int rowOf(const QTcpSocket* socket) const;
    void send(const QByteArray& reply);
    void sendChunks();
    void endTransfer();
    void removeRow();
    void dropClient();

    StationState& m_state;
    const Clock& m_clock;
    HistoryProtocol m_protocol;
    QTcpServer* m_server = nullptr;
    QTimer m_idleTimer;

    QTcpSocket* m_client = nullptr; // the one admitted connection
    QString m_clientAddress;
    quint16 m_clientPort = 0;
    std::optional<BadInputLog> m_badInput; // the admitted connection's
    ConnectionLog m_connectionLog;
    QDateTime m_lastActivity;          // the last request, or the end of the last file sent
    std::unique_ptr<QFile> m_transfer; // the file being sent
    qint64 m_transferLeft = 0;
    QByteArray m_afterTransfer; // replies that wait for the file's last byte
};
