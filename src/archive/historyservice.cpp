#include "historyservice.h"

#include "model/clock.h"
#include "model/integertext.h"
#include "model/logcategories.h"
#include "model/stationstate.h"
#include "net/acceptretry.h"
#include "net/tcpkeepalive.h"
#include "net/tcptexts.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

namespace {
constexpr qint64 kReadBufferSize = 4096; // the longest request has 34 characters
const QString kUnknownId = QStringLiteral("???");
} // namespace

HistoryService::HistoryService(StationState& state, const SettingsStore& settings,
                               const ArchiveReader& reader, const Clock& clock, QObject* parent)
    : QObject(parent), m_state(state), m_clock(clock), m_protocol(state, settings, reader),
      m_server(new QTcpServer(this)), m_connectionLog(lcArchive, QStringLiteral("history service"))
{
    connect(m_server, &QTcpServer::newConnection, this, &HistoryService::acceptPending);
    new AcceptRetry(*m_server, lcArchive, QStringLiteral("history service"));
    m_idleTimer.setInterval(kIdleCheckMs);
    connect(&m_idleTimer, &QTimer::timeout, this,
            &HistoryService::ServerSocketRefreshHistoryIdleCheck);
}

HistoryService::~HistoryService()
{
    dropClient();
}

Outcome HistoryService::listen(quint16 port, const QHostAddress& address)
{
    if (!m_server->listen(address, port))
        return TcpTexts::listenFailure(*m_server);
    return Outcome::success();
}

void HistoryService::stop()
{
    m_server->close();
    dropClient();
    m_state.currentConnectionsForUpdate.setRows(1);
}

bool HistoryService::isListening() const
{
    return m_server->isListening();
}

quint16 HistoryService::port() const
{
    return m_server->serverPort();
}

void HistoryService::dropClient()
{
    m_idleTimer.stop();
    endTransfer();
    m_afterTransfer.clear();
    if (m_badInput) {
        m_badInput->close();
        m_badInput.reset();
    }
    if (!m_client)
        return;
    QTcpSocket* socket = m_client;
    m_client = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void HistoryService::acceptPending()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection())
        ServerSocketRefreshHistoryClientConnect(socket);
}

void HistoryService::ServerSocketRefreshHistoryClientConnect(QTcpSocket* socket)
{
    if (m_client) {
        // One client at a time: the newcomer goes, the first is not disturbed.
        m_connectionLog.report(u"history connection from " +
                               TcpTexts::address(socket->peerAddress()) +
                               u" refused: a client is already connected");
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_client = socket;
    ++m_state.counters.history.sessions;
    m_clientAddress = TcpTexts::address(socket->peerAddress());
    m_clientPort = socket->peerPort();
    m_badInput.emplace(
        lcArchive, QStringLiteral("history client %1 %2").arg(m_clientAddress).arg(m_clientPort),
        &m_connectionLog);
    m_lastActivity = m_clock.now();
    enableTcpKeepAlive(*socket);
    socket->setReadBufferSize(kReadBufferSize);
    connect(socket, &QTcpSocket::readyRead, this,
            [this, socket] { ServerSocketRefreshHistoryClientRead(socket); });
    connect(socket, &QTcpSocket::disconnected, this,
            [this, socket] { ServerSocketRefreshHistoryClientDisconnect(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError error) {
                ServerSocketRefreshHistoryClientError(socket, error);
            });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] { sendChunks(); });
    m_idleTimer.start();

    CellGrid& grid = m_state.currentConnectionsForUpdate;
    grid.setRows(2);
    grid.setText(1, 0, kUnknownId);
    grid.setText(1, 1, TcpTexts::address(socket->localAddress()));
    grid.setText(1, 2, QString::number(socket->localPort()));
    grid.setText(1, 3, m_clientAddress);
    grid.setText(1, 4, QString::number(m_clientPort));
    m_connectionLog.report(
        QStringLiteral("history client connected: %1 %2").arg(m_clientAddress).arg(m_clientPort));
}

int HistoryService::rowOf(const QTcpSocket* socket) const
{
    if (socket != m_client)
        return 0;
    const CellGrid& grid = m_state.currentConnectionsForUpdate;
    for (int row = 1; row < grid.rows(); ++row) {
        const auto port = parseInteger(grid.text(row, 4));
        if (grid.text(row, 3) == m_clientAddress && port && *port == m_clientPort)
            return row;
    }
    return 0;
}

void HistoryService::removeRow()
{
    const int row = rowOf(m_client);
    CellGrid& grid = m_state.currentConnectionsForUpdate;
    if (row > 0) {
        for (int r = row; r + 1 < grid.rows(); ++r)
            for (int c = 0; c < grid.columns(); ++c)
                grid.setText(r, c, grid.text(r + 1, c));
        grid.setRows(grid.rows() - 1);
    }
}

void HistoryService::ServerSocketRefreshHistoryClientDisconnect(QTcpSocket* socket)
{
    if (socket != m_client)
        return;
    removeRow();
    m_connectionLog.report(QStringLiteral("history client disconnected: %1 %2")
                               .arg(m_clientAddress)
                               .arg(m_clientPort));
    dropClient();
}

void HistoryService::ServerSocketRefreshHistoryClientError(QTcpSocket* socket,
                                                           QAbstractSocket::SocketError error)
{
    // Absorbed; a broken connection ends with the disconnection handling.
    qCDebug(lcArchive).noquote() << "history client socket error" << int(error)
                                 << socket->errorString();
}

void HistoryService::ServerSocketRefreshHistoryIdleCheck()
{
    if (!m_client)
        return;
    if (m_transfer) {
        m_lastActivity = m_clock.now(); // a slow peer that still takes the file is no idler
        return;
    }
    if (m_lastActivity.secsTo(m_clock.now()) < kIdleSeconds)
        return;
    qCInfo(lcArchive).noquote() << "history client" << m_clientAddress << m_clientPort
                                << "closed: no request for" << kIdleSeconds / 60 << "minutes";
    ++m_state.counters.history.idleCloses;
    removeRow();
    dropClient();
}

void HistoryService::send(const QByteArray& reply)
{
    if (!m_client || reply.isEmpty())
        return;
    // A peer that sends but never reads must not queue replies without end.
    const qint64 queued = m_transfer ? m_afterTransfer.size() : m_client->bytesToWrite();
    if (queued + reply.size() > kReplyBacklogLimit) {
        qCWarning(lcArchive).noquote()
            << "history client" << m_clientAddress << m_clientPort << "closed: it left more than"
            << kReplyBacklogLimit << "bytes of replies unread";
        removeRow();
        dropClient();
        return;
    }
    if (m_transfer) {
        // The file's bytes were announced first; the reply follows them.
        m_afterTransfer += reply;
        return;
    }
    m_client->write(reply);
}

void HistoryService::ServerSocketRefreshHistoryClientRead(QTcpSocket* socket)
{
    const int row = rowOf(socket);
    if (row == 0)
        return;
    m_lastActivity = m_clock.now();
    HistoryProtocol::Answer answer =
        m_protocol.ServeRequest(socket->readAll(), row, m_transfer != nullptr);
    m_state.counters.history.badRequests += quint64(answer.badInput.size());
    for (const QString& what : answer.badInput)
        m_badInput->report(what);
    send(answer.replies);
    if (answer.file && m_client) {
        m_transfer = std::move(answer.file);
        m_transferLeft = answer.fileSize;
        sendChunks();
    }
}

void HistoryService::sendChunks()
{
    if (!m_transfer || !m_client)
        return;
    while (m_transferLeft > 0 && m_client->bytesToWrite() < kChunkSize) {
        const QByteArray chunk = m_transfer->read(qMin(kChunkSize, m_transferLeft));
        if (chunk.isEmpty()) {
            qCWarning(lcArchive).noquote() << "history fetch: reading" << m_transfer->fileName()
                                           << "failed with" << m_transferLeft << "bytes left";
            endTransfer();
            m_client->abort(); // it was told a size that cannot be sent
            return;
        }
        m_transferLeft -= chunk.size();
        m_client->write(chunk);
        m_state.counters.history.bytesSent += quint64(chunk.size());
    }
    if (m_transferLeft > 0)
        return;
    ++m_state.counters.history.filesSent;
    endTransfer();
    m_lastActivity = m_clock.now();
    if (!m_afterTransfer.isEmpty()) {
        m_client->write(m_afterTransfer);
        m_afterTransfer.clear();
    }
}

void HistoryService::endTransfer()
{
    m_transfer.reset();
    m_transferLeft = 0;
}
