#include "historyservice.h"

#include "archivereader.h"

#include "answers/tcptexts.h"
#include "model/codepage1251.h"
#include "model/integertext.h"
#include "model/logcategories.h"
#include "model/settingsstore.h"
#include "model/stationstate.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

namespace {
constexpr qint64 kReadBufferSize = 4096; // the longest request has 34 characters
const QByteArray kLineEnd = "\n\r";      // LF then CR
const QByteArray kRefused = ":0299\n\r";
const QByteArray kNothingLeft = ":0200\n\r";
const QByteArray kNoLastStamp = "00000000000000";
const QString kUnknownId = QStringLiteral("???");

// Characters from position (1-based) on, at most count of them.
QByteArray field(const QByteArray& request, int position, int count)
{
    return request.mid(position - 1, count);
}

QByteArray padded(qint64 value, int digits)
{
    return QByteArray::number(value).rightJustified(digits, '0');
}
} // namespace

HistoryService::HistoryService(StationState& state, const SettingsStore& settings,
                               const ArchiveReader& reader, QObject* parent)
    : QObject(parent), m_state(state), m_settings(settings), m_reader(reader),
      m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &HistoryService::acceptPending);
}

HistoryService::~HistoryService()
{
    dropClient();
}

Outcome HistoryService::listen(quint16 port)
{
    if (!m_server->listen(QHostAddress::Any, port))
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
    endTransfer();
    m_afterTransfer.clear();
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
        qCInfo(lcArchive).noquote()
            << "history connection from" << TcpTexts::address(socket->peerAddress()) << "refused:"
            << "a client is already connected";
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_client = socket;
    m_clientAddress = TcpTexts::address(socket->peerAddress());
    m_clientPort = socket->peerPort();
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

    CellGrid& grid = m_state.currentConnectionsForUpdate;
    grid.setRows(2);
    grid.setText(1, 0, kUnknownId);
    grid.setText(1, 1, TcpTexts::address(socket->localAddress()));
    grid.setText(1, 2, QString::number(socket->localPort()));
    grid.setText(1, 3, m_clientAddress);
    grid.setText(1, 4, QString::number(m_clientPort));
    qCInfo(lcArchive).noquote() << "history client connected:" << m_clientAddress << m_clientPort;
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

void HistoryService::ServerSocketRefreshHistoryClientDisconnect(QTcpSocket* socket)
{
    if (socket != m_client)
        return;
    const int row = rowOf(socket);
    CellGrid& grid = m_state.currentConnectionsForUpdate;
    if (row > 0) {
        for (int r = row; r + 1 < grid.rows(); ++r)
            for (int c = 0; c < grid.columns(); ++c)
                grid.setText(r, c, grid.text(r + 1, c));
        grid.setRows(grid.rows() - 1);
    }
    qCInfo(lcArchive).noquote() << "history client disconnected:" << m_clientAddress
                                << m_clientPort;
    dropClient();
}

void HistoryService::ServerSocketRefreshHistoryClientError(QTcpSocket* socket,
                                                           QAbstractSocket::SocketError error)
{
    // Absorbed; a broken connection ends with the disconnection handling.
    qCDebug(lcArchive).noquote() << "history client socket error" << int(error)
                                 << socket->errorString();
}

void HistoryService::send(const QByteArray& reply)
{
    if (!m_client)
        return;
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
    QByteArray request = socket->readAll();
    const qsizetype zero = request.indexOf('\0');
    if (zero >= 0)
        request.truncate(zero);
    const QByteArray code = field(request, 2, 2);
    if (code == "01")
        select(request);
    else if (code == "02")
        describe(request);
    else if (code == "03")
        fetch(request);
    else if (code == "05")
        send(":05" +
             toCp1251(
                 m_settings.readSetting(SettingsStore::rootKey(), QStringLiteral("LastMeasure"))) +
             kLineEnd);
    else if (code == "04")
        identify(request, row);
    else
        qCInfo(lcArchive).noquote()
            << "history request with an unknown code ignored:" << fromCp1251(request.left(40));
}

void HistoryService::identify(const QByteArray& request, int row)
{
    QByteArray id = field(request, 4, 3);
    if (id == "000") {
        int& seq = m_state.historyClientSeq;
        if (seq < 1 || seq >= kIdCount)
            seq = 1; // 000 is never handed out
        id = padded(seq, 3);
        seq = seq + 1 >= kIdCount ? 1 : seq + 1;
        qCInfo(lcArchive).noquote() << "history client gets the new ID" << id;
    }
    m_state.currentConnectionsForUpdate.setText(row, 0, fromCp1251(id));
    send(":04" + id);
}

HistoryService::HistorySelection* HistoryService::selectionOf(const QByteArray& request)
{
    const QByteArray text = field(request, 4, 3);
    const auto id = parseInteger(QString::fromLatin1(text));
    if (!id || *id < 0 || *id >= kIdCount) {
        qCWarning(lcArchive).noquote()
            << "history request with an ID that is no number 000..999 ignored:"
            << fromCp1251(request.left(40));
        return nullptr;
    }
    return &m_selections[size_t(*id)];
}

void HistoryService::select(const QByteArray& request)
{
    HistorySelection* selection = selectionOf(request);
    if (!selection)
        return;
    const QString first = fromCp1251(field(request, 7, 14));
    QString last = fromCp1251(field(request, 21, 14));
    if (last.toLatin1() == kNoLastStamp)
        last = m_settings.readSetting(SettingsStore::rootKey(), QStringLiteral("LastMeasure"));
    if (first == last) {
        send(":0100000" + kLineEnd);
        return;
    }
    if (!ArchiveReader::isDateStamp(first) || !ArchiveReader::isDateStamp(last)) {
        qCWarning(lcArchive).noquote()
            << "history select with a stamp that is no date ignored:" << first << last;
        return;
    }
    *selection = HistorySelection();
    selection->selected = true;
    const int count = m_reader.SelectArchiveFiles(first, last, selection->files, selection->dates);
    qCInfo(lcArchive).noquote() << "history select" << first << "to" << last << ":" << count
                                << "files";
    send(":01" + padded(count, 5) + kLineEnd);
}

void HistoryService::describe(const QByteArray& request)
{
    HistorySelection* selection = selectionOf(request);
    if (!selection)
        return;
    if (!selection->selected) {
        send(kRefused);
        return;
    }
    const auto index = parseInteger(QString::fromLatin1(field(request, 7, 5)));
    if (!index) {
        send(kRefused);
    } else if (qint64(*index) + 1 == selection->files.size()) {
        selection->files.removeLast();
        selection->dates.removeLast();
    }
    if (selection->files.isEmpty()) {
        send(kNothingLeft);
        return;
    }
    const QString path = selection->files.last();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcArchive).noquote() << "history describe: cannot open" << path;
        return;
    }
    const qint64 size = file.size();
    const QString channel = path.size() >= 6 ? path.chopped(4).right(2) : QString();
    selection->describedFile = path;
    selection->describedSize = size;
    send(":02" + toCp1251(channel) + toCp1251(selection->dates.last()) + padded(size, 9));
}

void HistoryService::fetch(const QByteArray& request)
{
    HistorySelection* selection = selectionOf(request);
    if (!selection || !selection->selected || selection->files.isEmpty())
        return;
    if (m_transfer) {
        qCInfo(lcArchive) << "history fetch while a file is being sent ignored";
        return;
    }
    const QString path = selection->files.last();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        qCWarning(lcArchive).noquote() << "history fetch: cannot open" << path;
        return;
    }
    // Exactly what the description announced; a line appended since then
    // goes with the next selection of that day.
    qint64 size = file->size();
    if (selection->describedFile == path && selection->describedSize >= 0) {
        if (selection->describedSize > size)
            qCWarning(lcArchive).noquote()
                << "history fetch:" << path << "shrank to" << size << "bytes since its description";
        size = qMin(size, selection->describedSize);
    }
    m_transfer = std::move(file);
    m_transferLeft = size;
    sendChunks();
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
    }
    if (m_transferLeft > 0)
        return;
    endTransfer();
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
