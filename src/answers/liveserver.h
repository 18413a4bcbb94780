#pragma once

#include "answerconsumer.h"

#include "model/outcome.h"
#include "net/badinputlog.h"
#include "net/connectionlog.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QList>
#include <QObject>

struct AnswerRecord;
class PollScheduler;
class QTcpServer;
class QTcpSocket;
struct StationState;

// The live TCP service ServerSocket, a consumer of accepted answers: RelayRecord
// sends every accepted answer's record at once as a relay frame to every
// client; a client may leave one forwarded request, which goes to the poll
// scheduler. Its clients are listed in tblCurrentConnections. Between beginTick
// and endTick (one receive tick) the frames are collected and go to each client
// in one write at the end, in order.
class LiveServer : public QObject, public AnswerConsumer {
    Q_OBJECT
public:
    // Bytes a client may have waiting: more than ten seconds of ten lines at
    // 115200 baud, so a client that reads never misses a frame. A frame that
    // does not fit is dropped whole, logged once per episode.
    static constexpr qint64 kClientBacklogLimit = 1536 * 1024;
    // Clients served at once; further connections are accepted and closed at once.
    static constexpr int kDefaultClientLimit = 64;

    LiveServer(StationState& state, PollScheduler& scheduler, QObject* parent = nullptr);
    ~LiveServer() override;

    // Listens on port at address; on failure the error text "Windows socket
    // error: %s (%d), on API '%s'".
    Outcome listen(quint16 port, const QHostAddress& address = QHostAddress::Any);
    // Closes the service and its clients; the grid shows one empty row.
    void stop();
    bool isListening() const;
    quint16 port() const;

    void beginTick() override;
    void accept(const AcceptedAnswer& answer) override;
    void endTick() override;
    // The frame's LRC is computed on its own copy: the record stays as it is.
    void RelayRecord(const AnswerRecord& record, int length);

    void ServerSocketClientConnect(QTcpSocket* socket);
    void ServerSocketClientDisconnect(QTcpSocket* socket);
    void ServerSocketClientRead(QTcpSocket* socket);
    void ServerSocketClientError(QTcpSocket* socket, QAbstractSocket::SocketError error);

    // The request of one read event, as ServerSocketClientRead takes it.
    void takeRequest(const QByteArray& bytes, BadInputLog& log);

    void setClientLimit(int limit) { m_clientLimit = qMax(1, limit); }
    int clientLimit() const { return m_clientLimit; }
    int clientCount() const { return int(m_clients.size()); }
    // Off: client requests are read and dropped, nothing reaches the lines.
    void setForwardingEnabled(bool enabled) { m_forwarding = enabled; }
    bool forwardingEnabled() const { return m_forwarding; }
    // Frames dropped for clients that did not take them, since start.
    qint64 droppedFrames() const { return m_droppedFrames; }

private:
    struct Client {
        QTcpSocket* socket = nullptr;
        qint64 dropped = 0; // frames of the running drop episode
        BadInputLog badInput;
    };
    void acceptPending();
    void refuse(QTcpSocket* socket);
    void showNoClients();
    void closeClients();
    Client* find(const QTcpSocket* socket);
    // Frames end at the given offsets of bytes.
    void sendFrames(const QByteArray& bytes, const QList<qsizetype>& frameEnds);
    void sendTo(Client& client, const QByteArray& bytes, const QList<qsizetype>& frameEnds);

    StationState& m_state;
    PollScheduler& m_scheduler;
    QTcpServer* m_server = nullptr;
    QList<Client> m_clients; // in the order they were accepted
    qint64 m_droppedFrames = 0;
    int m_clientLimit = kDefaultClientLimit;
    qint64 m_refused = 0; // connections refused in the running episode
    bool m_forwarding = true;
    ConnectionLog m_connectionLog;
    bool m_batching = false;
    // One tick's frames: about as many bytes as the tick took off the lines.
    QByteArray m_batch;
    QList<qsizetype> m_batchEnds;
};
