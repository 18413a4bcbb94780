#pragma once

#include "badinputlog.h"
#include "recordrelay.h"

#include "model/outcome.h"

#include <QAbstractSocket>
#include <QList>
#include <QObject>

class PollScheduler;
class QTcpServer;
class QTcpSocket;
struct StationState;

// The live TCP service ServerSocket, the last step of an answer's road: the
// decoder hands every accepted record to RelayRecord, which sends it at once as a
// relay frame to every client; a client may leave one forwarded request, which
// goes to the poll scheduler. Its clients are listed in tblCurrentConnections.
class LiveServer : public QObject, public RecordRelay {
    Q_OBJECT
public:
    // Bytes a client may have waiting; a frame that does not fit is dropped whole.
    static constexpr qint64 kClientBacklogLimit = 64 * 1024;
    // Clients served at once; further connections are accepted and closed at once.
    static constexpr int kDefaultClientLimit = 64;

    LiveServer(StationState& state, PollScheduler& scheduler, QObject* parent = nullptr);
    ~LiveServer() override;

    // Listens on port; on failure the error text "Windows socket error: %s (%d), on API '%s'".
    Outcome listen(quint16 port);
    // Closes the service and its clients; the grid shows one empty row.
    void stop();
    bool isListening() const;
    quint16 port() const;

    void RelayRecord(AnswerRecord& record, int length) override;

    void ServerSocketClientConnect(QTcpSocket* socket);
    void ServerSocketClientDisconnect(QTcpSocket* socket);
    void ServerSocketClientRead(QTcpSocket* socket);
    void ServerSocketClientError(QTcpSocket* socket, QAbstractSocket::SocketError error);

    // The request of one read event, as ServerSocketClientRead takes it.
    void takeRequest(const QByteArray& bytes, BadInputLog& log);

    void setClientLimit(int limit) { m_clientLimit = qMax(1, limit); }
    int clientLimit() const { return m_clientLimit; }
    int clientCount() const { return int(m_clients.size()); }
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

    StationState& m_state;
    PollScheduler& m_scheduler;
    QTcpServer* m_server = nullptr;
    QList<Client> m_clients; // in the order they were accepted
    qint64 m_droppedFrames = 0;
    int m_clientLimit = kDefaultClientLimit;
    qint64 m_refused = 0; // connections refused in the running episode
};
