#pragma once

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

    int clientCount() const { return int(m_clients.size()); }
    // Frames dropped for clients that did not take them, since start.
    qint64 droppedFrames() const { return m_droppedFrames; }

private:
    struct Client {
        QTcpSocket* socket = nullptr;
        qint64 dropped = 0; // frames of the running drop episode
    };
    void acceptPending();
    void showConnections(const QTcpSocket* leaving);
    void closeClients();
    Client* find(const QTcpSocket* socket);

    StationState& m_state;
    PollScheduler& m_scheduler;
    QTcpServer* m_server = nullptr;
    QList<Client> m_clients; // in the order they were accepted
    qint64 m_droppedFrames = 0;
};
