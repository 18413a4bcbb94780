#include "liveserver.h"

#include "answerrecord.h"
#include "tcptexts.h"

#include "model/codepage1251.h"
#include "model/integertext.h"
#include "model/logcategories.h"
#include "model/stationlimits.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
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
    : QObject(parent), m_state(state), m_scheduler(scheduler), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &LiveServer::acceptPending);
}

LiveServer::~LiveServer()
{
    closeClients();
}

Outcome LiveServer::listen(quint16 port)
{
    if (!m_server->listen(QHostAddress::Any, port))
        return TcpTexts::listenFailure(*m_server);
    return Outcome::success();
}

void LiveServer::stop()
{
    m_server->close();
    closeClients();
    showConnections(nullptr);
}

void LiveServer::closeClients()
{
    const QList<Client> clients = m_clients;
    m_clients.clear();
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
        socket->setReadBufferSize(kReadBufferSize);
        m_clients.append(Client{socket});
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

void LiveServer::showConnections(const QTcpSocket* leaving)
{
    CellGrid& grid = m_state.currentConnections;
    QList<const QTcpSocket*> shown;
    for (const Client& client : m_clients)
        if (client.socket != leaving)
            shown.append(client.socket);
    grid.setRows(int(shown.size()) + 1 + (shown.isEmpty() ? 1 : 0));
    if (shown.isEmpty()) {
        for (int c = 0; c < kColumns; ++c)
            grid.setText(1, c, QString());
        return;
    }
    for (int i = 0; i < shown.size(); ++i) {
        const QTcpSocket* socket = shown[i];
        const int row = i + 1;
        grid.setText(row, 0, QString::number(row));
        grid.setText(row, 1, TcpTexts::address(socket->localAddress()));
        grid.setText(row, 2, QString::number(socket->localPort()));
        grid.setText(row, 3, TcpTexts::address(socket->peerAddress()));
        grid.setText(row, 4, QString::number(socket->peerPort()));
    }
}

void LiveServer::ServerSocketClientConnect(QTcpSocket* socket)
{
    qCInfo(lcAnswers).noquote() << "live client connected:" << peerText(socket);
    showConnections(nullptr);
}

void LiveServer::ServerSocketClientDisconnect(QTcpSocket* socket)
{
    if (!find(socket))
        return;
    qCInfo(lcAnswers).noquote() << "live client disconnected:" << peerText(socket);
    showConnections(socket);
    m_clients.removeIf([socket](const Client& client) { return client.socket == socket; });
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
    QByteArray bytes = socket->readAll();
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    const QString text = fromCp1251(bytes.left(4));
    // Three characters: the third alone is the argument.
    const QString rowField = text.left(2);
    const QString argumentField = text.mid(2, 2);
    const auto row = parseInteger(rowField);
    const auto argument = parseInteger(argumentField);
    if (!row || !argument) {
        qCWarning(lcAnswers).noquote() << "live client" << peerText(socket)
                                       << "request is not two numbers:" << fromCp1251(bytes);
        return;
    }
    if (*row < 1 || *row > kChannelCount) {
        qCWarning(lcAnswers).noquote() << "live client" << peerText(socket) << "request for row"
                                       << *row << "outside 1.." << kChannelCount << "ignored";
        return;
    }
    if (m_state.queryList.text(*row, QueryColumn::Terminal) == Texts::notConnected) {
        qCInfo(lcAnswers).noquote() << "live client request for row" << *row
                                    << "ignored: its terminal is" << Texts::notConnected;
        return;
    }
    const ChannelEntry& channel = m_state.channels[size_t(*row - 1)];
    const QByteArray frame =
        HexFrame::forwardedFrame(channel.blockAddress, channel.channelNumber, quint8(*argument));
    qCDebug(lcAnswers).noquote() << "forwarded request for row" << *row << frame.trimmed();
    m_scheduler.setForwardedRequest(frame, *row);
}

void LiveServer::RelayRecord(AnswerRecord& record, int length)
{
    if (length < 1 || length >= AnswerRecord::kCapacity)
        return;
    const QByteArrayView message(reinterpret_cast<const char*>(record.bytes.data()), length);
    record[length] = HexFrame::lrc(message);
    const QByteArray frame = HexFrame::encode(
        QByteArrayView(reinterpret_cast<const char*>(record.bytes.data()), length + 1));
    if (m_batching) {
        m_batch += frame;
        m_batchEnds.append(m_batch.size());
        return;
    }
    sendFrames(frame, {frame.size()});
}

void LiveServer::beginBatch()
{
    m_batching = true;
}

void LiveServer::endBatch()
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
    } else if (client.dropped > 0) {
        qCInfo(lcAnswers).noquote() << "live client" << peerText(socket)
                                    << "takes frames again after" << client.dropped << "dropped";
        client.dropped = 0;
    }
    if (fitting == 0)
        return;
    socket->write(fitting == frameEnds.size() ? bytes : bytes.left(frameEnds[fitting - 1]));
    socket->flush();
}
