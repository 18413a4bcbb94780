#include "liveserver.h"

#include "acceptedanswer.h"
#include "answerrecord.h"
#include "liverequest.h"

#include "model/logcategories.h"
#include "model/stationlimits.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "net/acceptretry.h"
#include "net/tcpkeepalive.h"
#include "net/tcptexts.h"
#include "serial/hexframe.h"
#include "serial/pollscheduler.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace {
constexpr int kColumns = 5;
constexpr qint64 kReadBufferSize = 4096; // a request is four characters

QString peerText(const QTcpSocket* socket)
{
    return TcpTexts::address(socket->peerAddress()) + u':' + QString::number(socket->peerPort());
}
} // namespace

LiveServer::LiveServer(StationState& state, PollScheduler& scheduler, QObject* parent)
    : QObject(parent), m_state(state), m_scheduler(scheduler), m_server(new QTcpServer(this)),
      m_connectionLog(lcAnswers, QStringLiteral("live service"))
{
    connect(m_server, &QTcpServer::newConnection, this, &LiveServer::acceptPending);
    new AcceptRetry(*m_server, lcAnswers, QStringLiteral("live service"));
}

LiveServer::~LiveServer()
{
    closeClients();
}

Outcome LiveServer::listen(quint16 port, const QHostAddress& address)
{
    if (!m_server->listen(address, port))
        return TcpTexts::listenFailure(*m_server);
    return Outcome::success();
}

void LiveServer::stop()
{
    m_server->close();
    closeClients();
    showNoClients();
}

void LiveServer::closeClients()
{
    const QList<Client> clients = m_clients;
    m_clients.clear();
    m_state.counters.live.clientsNow = 0;
    for (const Client& client : clients) {
        client.socket->disconnect(this);
        client.socket->abort();
        client.socket->deleteLater();
    }
}

bool LiveServer::isListening() const
{
    return m_server->isListening();
}

quint16 LiveServer::port() const
{
    return m_server->serverPort();
}

LiveServer::Client* LiveServer::find(const QTcpSocket* socket)
{
    for (Client& client : m_clients)
        if (client.socket == socket)
            return &client;
    return nullptr;
}

void LiveServer::acceptPending()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (m_clients.size() >= m_clientLimit) {
            ++m_state.counters.live.connectionsRefused;
            refuse(socket);
            continue;
        }
        ++m_state.counters.live.connectionsAccepted;
        if (m_refused > 0) {
            m_connectionLog.report(
                QStringLiteral("live service accepts clients again; %1 connections were refused")
                    .arg(m_refused));
            m_refused = 0;
        }
        socket->setReadBufferSize(kReadBufferSize);
        enableTcpKeepAlive(*socket);
        m_clients.append(
            Client{socket, 0,
                   BadInputLog(lcAnswers, u"live client " + peerText(socket), &m_connectionLog)});
        m_state.counters.live.clientsNow = quint64(m_clients.size());
        connect(socket, &QTcpSocket::readyRead, this,
                [this, socket] { ServerSocketClientRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, socket] { ServerSocketClientDisconnect(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this,
                [this, socket](QAbstractSocket::SocketError error) {
                    ServerSocketClientError(socket, error);
                });
        ServerSocketClientConnect(socket);
    }
}

// Every client holds a descriptor: beyond the limit a connection is closed at
// once, so the archive and the history service always find one.
void LiveServer::refuse(QTcpSocket* socket)
{
    if (m_refused++ == 0)
        m_connectionLog.report(QStringLiteral("live service has %1 clients: further connections "
                                              "are closed at once, first %2")
                                   .arg(m_clientLimit)
                                   .arg(peerText(socket)),
                               QtWarningMsg);
    socket->abort();
    socket->deleteLater();
}

void LiveServer::showNoClients()
{
    CellGrid& grid = m_state.currentConnections;
    grid.setRowNumbers(0, 0);
    grid.setRows(2);
    for (int c = 0; c < kColumns; ++c)
        grid.setText(1, c, QString());
}

void LiveServer::ServerSocketClientConnect(QTcpSocket* socket)
{
    m_connectionLog.report(u"live client connected: " + peerText(socket));
    // The new connection is the last in the list: it gets the last row.
    CellGrid& grid = m_state.currentConnections;
    const int row = int(m_clients.size());
    grid.setRows(row + 1);
    grid.setText(row, 1, TcpTexts::address(socket->localAddress()));
    grid.setText(row, 2, QString::number(socket->localPort()));
    grid.setText(row, 3, TcpTexts::address(socket->peerAddress()));
    grid.setText(row, 4, QString::number(socket->peerPort()));
    grid.setRowNumbers(0, row);
}

void LiveServer::ServerSocketClientDisconnect(QTcpSocket* socket)
{
    const auto at =
        std::find_if(m_clients.begin(), m_clients.end(),
                     [socket](const Client& client) { return client.socket == socket; });
    if (at == m_clients.end())
        return;
    m_connectionLog.report(u"live client disconnected: " + peerText(socket));
    at->badInput.close();
    // Only the leaving row goes; the rows below move up and keep their cells.
    const int row = int(at - m_clients.begin()) + 1;
    m_clients.erase(at);
    m_state.counters.live.clientsNow = quint64(m_clients.size());
    if (m_clients.isEmpty())
        showNoClients();
    else
        m_state.currentConnections.removeRow(row);
    socket->disconnect(this);
    socket->deleteLater();
}

void LiveServer::ServerSocketClientError(QTcpSocket* socket, QAbstractSocket::SocketError error)
{
    // Absorbed: the station shows no socket errors. A connection that broke
    // is closed here, so it leaves the grid as on a disconnect.
    qCDebug(lcAnswers).noquote() << "live client" << peerText(socket) << "socket error"
                                 << int(error) << socket->errorString();
    if (error != QAbstractSocket::RemoteHostClosedError &&
        socket->state() == QAbstractSocket::ConnectedState && find(socket))
        socket->abort();
}

void LiveServer::ServerSocketClientRead(QTcpSocket* socket)
{
    const QByteArray bytes = socket->readAll();
    if (Client* client = find(socket))
        takeRequest(bytes, client->badInput);
}

void LiveServer::takeRequest(const QByteArray& bytes, BadInputLog& log)
{
    const auto request = LiveRequest::parse(bytes);
    // Refused below unless it names a connected row of the poll list.
    quint64& badRequests = m_state.counters.live.badRequests;
    if (!request) {
        ++badRequests;
        log.report(u"request is not two numbers: " + BadInputLog::quoted(bytes));
        return;
    }
    if (!m_forwarding) {
        log.report(QStringLiteral("request ignored: forwarded requests are off"));
        return;
    }
    const int row = request->row;
    if (row < 1 || row > kChannelCount) {
        ++badRequests;
        log.report(
            QStringLiteral("request for row %1 outside 1..%2 ignored").arg(row).arg(kChannelCount));
        return;
    }
    if (m_state.queryList.text(row, QueryColumn::Terminal) == Texts::notConnected) {
        ++badRequests;
        log.report(QStringLiteral("request for row %1 ignored: its terminal is %2")
                       .arg(row)
                       .arg(Texts::notConnected));
        return;
    }
    const ChannelEntry& channel = m_state.channels[size_t(row - 1)];
    const QByteArray frame = HexFrame::forwardedFrame(channel.blockAddress, channel.channelNumber,
                                                      quint8(request->argument));
    qCDebug(lcAnswers).noquote() << "forwarded request for row" << row << frame.trimmed();
    m_scheduler.setForwardedRequest(frame, row);
}

void LiveServer::accept(const AcceptedAnswer& answer)
{
    RelayRecord(answer.record, answer.length());
}

void LiveServer::RelayRecord(const AnswerRecord& record, int length)
{
    if (length < 1 || length >= AnswerRecord::kCapacity)
        return;
    std::array<quint8, AnswerRecord::kCapacity> message;
    std::copy_n(record.bytes.begin(), length, message.begin());
    message[size_t(length)] =
        HexFrame::lrc(QByteArrayView(reinterpret_cast<const char*>(message.data()), length));
    const QByteArray frame =
        HexFrame::encode(QByteArrayView(reinterpret_cast<const char*>(message.data()), length + 1));
    if (m_batching) {
        m_batch += frame;
        m_batchEnds.append(m_batch.size());
        return;
    }
    sendFrames(frame, {frame.size()});
}

void LiveServer::beginTick()
{
    m_batching = true;
}

void LiveServer::endTick()
{
    m_batching = false;
    if (m_batch.isEmpty())
        return;
    sendFrames(m_batch, m_batchEnds);
    m_batch.clear();
    m_batchEnds.clear();
}

void LiveServer::sendFrames(const QByteArray& bytes, const QList<qsizetype>& frameEnds)
{
    // A failed send closes its client at once, which changes the list.
    QList<QPointer<QTcpSocket>> sockets;
    for (const Client& client : m_clients)
        sockets.append(client.socket);
    for (const QPointer<QTcpSocket>& socket : sockets) {
        Client* client = socket ? find(socket) : nullptr;
        if (client && socket->state() == QAbstractSocket::ConnectedState)
            sendTo(*client, bytes, frameEnds);
    }
}

void LiveServer::sendTo(Client& client, const QByteArray& bytes, const QList<qsizetype>& frameEnds)
{
    QTcpSocket* socket = client.socket;
    // The whole frames that fit below the cap go; the rest are dropped.
    const qint64 room = kClientBacklogLimit - socket->bytesToWrite();
    qsizetype fitting = 0;
    while (fitting < frameEnds.size() && frameEnds[fitting] <= room)
        ++fitting;
    const qsizetype dropped = frameEnds.size() - fitting;
    if (dropped > 0) {
        if (client.dropped == 0)
            qCWarning(lcAnswers).noquote()
                << "live client" << peerText(socket) << "does not take its frames: dropping them";
        client.dropped += dropped;
        m_droppedFrames += dropped;
        m_state.counters.live.framesDropped += quint64(dropped);
    } else if (client.dropped > 0) {
        qCInfo(lcAnswers).noquote() << "live client" << peerText(socket)
                                    << "takes frames again after" << client.dropped << "dropped";
        client.dropped = 0;
    }
    if (fitting == 0)
        return;
    m_state.counters.live.framesSent += quint64(fitting);
    socket->write(fitting == frameEnds.size() ? bytes : bytes.left(frameEnds[fitting - 1]));
    socket->flush();
}
