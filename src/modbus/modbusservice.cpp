#include "modbusservice.h"

#include "modbusconnectiongate.h"
#include "modbuslogging.h"
#include "modbusregisterserver.h"

#include "answers/latestanswers.h"
#include "model/clock.h"
#include "model/stationstate.h"
#include "net/acceptretry.h"
#include "net/tcpkeepalive.h"
#include "net/tcptexts.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {
QString peerText(const QTcpSocket* socket)
{
    return TcpTexts::address(socket->peerAddress()) + u':' + QString::number(socket->peerPort());
}

QString orderText(ModbusSettings::WordOrder order)
{
    return order == ModbusSettings::WordOrder::ABCD ? QStringLiteral("ABCD")
                                                    : QStringLiteral("CDAB");
}
} // namespace

ModbusService::ModbusService(const StationState& state, const LatestAnswers& latest,
                             const Clock& clock, QObject* parent)
    : QObject(parent), m_state(state), m_latest(latest), m_clock(clock), m_started(clock.now()),
      m_registers(size_t(ModbusRegisterMap::kRegisterCount), 0),
      m_connectionLog(lcModbus, QStringLiteral("Modbus TCP service"))
{
    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &ModbusService::refresh);
    m_idleTimer.setInterval(kIdleCheckMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &ModbusService::closeIdleClients);
    connect(&m_latest, &LatestAnswers::rowsUpdated, this, [this] {
        if (m_server)
            refresh();
    });
}

ModbusService::~ModbusService()
{
    stop();
}

Outcome ModbusService::start(const ModbusSettings& settings)
{
    stop();
    m_settings = settings;
    if (!settings.enabled()) {
        qCInfo(lcModbus) << "Modbus TCP server off: no port set";
        return Outcome::success();
    }
    if (const QString error = settings.invalidity(); !error.isEmpty())
        return Outcome::failure(error);
    m_order = *settings.wordOrderValue();
    refresh();

    m_server = new ModbusRegisterServer(m_registers, this);
    m_server->installConnectionObserver(
        new ModbusConnectionGate([this](QTcpSocket* socket) { return admit(socket); }));
    connect(m_server, &QModbusTcpServer::modbusClientDisconnected, this,
            &ModbusService::clientDisconnected);
    connect(m_server, &ModbusRegisterServer::requestRefused, this, &ModbusService::requestRefused);
    const QHostAddress host = *settings.hostAddress();
    // Qt joins address and port into a URL: an IPv6 address needs its brackets.
    const QString hostText = host.protocol() == QAbstractSocket::IPv6Protocol
                                 ? u'[' + host.toString() + u']'
                                 : host.toString();
    m_server->setConnectionParameter(QModbusDevice::NetworkAddressParameter, hostText);
    m_server->setConnectionParameter(QModbusDevice::NetworkPortParameter, *settings.portNumber());
    m_server->setServerAddress(*settings.unitIdNumber());
    auto* tcp = m_server->findChild<QTcpServer*>();
    if (!m_server->connectDevice() || !tcp || !tcp->isListening()) {
        const QString error = tcp ? TcpTexts::listenFailure(*tcp).error() : m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return Outcome::failure(QStringLiteral("Сервер Modbus TCP не запущен на %1:%2: %3")
                                    .arg(host.toString())
                                    .arg(*settings.portNumber())
                                    .arg(error));
    }
    new AcceptRetry(*tcp, lcModbus, QStringLiteral("Modbus TCP service"));
    qCInfo(lcModbus).noquote() << "Modbus TCP server listening on"
                               << host.toString() + u':' + QString::number(tcp->serverPort())
                               << "- unit" << *settings.unitIdNumber() << "word order"
                               << orderText(m_order);
    m_refreshTimer.start();
    m_idleTimer.start();
    emit stateChanged();
    return Outcome::success();
}

void ModbusService::stop()
{
    m_refreshTimer.stop();
    m_idleTimer.stop();
    if (!m_server)
        return;
    ModbusRegisterServer* server = std::exchange(m_server, nullptr);
    server->disconnect(this);
    server->disconnectDevice();
    const std::vector<Client> clients = std::move(m_clients);
    m_clients.clear();
    for (const Client& client : clients) {
        if (!client.socket)
            continue;
        client.socket->disconnect(this);
        client.socket->abort();
    }
    // Qt's server frees a client's buffer when the client's socket is destroyed,
    // but only while the server itself lives: the closed sockets go first. No
    // client's handler calls stop(); the server's own handlers may be on the stack.
    qDeleteAll(server->findChildren<QTcpSocket*>());
    server->deleteLater();
    qCInfo(lcModbus) << "Modbus TCP server stopped";
    emit stateChanged();
}

bool ModbusService::isListening() const
{
    return m_server && m_server->state() == QModbusDevice::ConnectedState;
}

quint16 ModbusService::port() const
{
    const auto* tcp = m_server ? m_server->findChild<QTcpServer*>() : nullptr;
    return tcp ? tcp->serverPort() : 0;
}

void ModbusService::refresh()
{
    const QDateTime now = m_clock.now();
    for (int k = 0; k < kChannelCount; ++k) {
        const auto block = std::span(m_registers)
                               .subspan(size_t(k) * ModbusRegisterMap::kRowBlockSize)
                               .first<ModbusRegisterMap::kRowBlockSize>();
        ModbusRegisterMap::writeRow(block, m_latest.entry(k), m_state.channels[size_t(k)],
                                    m_state.queryList.text(k + 1, QueryColumn::Status), now,
                                    m_order);
    }
    writeStationBlock(now);
}

void ModbusService::writeStationBlock(const QDateTime& now)
{
    const auto block = std::span(m_registers)
                           .subspan(ModbusRegisterMap::kStationBlock)
                           .first<ModbusRegisterMap::kStationBlockSize>();
    for (int t = 0; t < kTerminalCount; ++t)
        block[size_t(ModbusRegisterMap::TerminalStates + t)] =
            ModbusRegisterMap::terminalState(m_state.terminals[size_t(t)].status);
    std::array<quint16, 4> counts{};
    for (int k = 0; k < kChannelCount; ++k)
        ++counts[m_registers[size_t(k) * ModbusRegisterMap::kRowBlockSize +
                             ModbusRegisterMap::Quality] &
                 3];
    block[ModbusRegisterMap::FreshCount] = counts[ModbusRegisterMap::Fresh];
    block[ModbusRegisterMap::StaleCount] = counts[ModbusRegisterMap::Stale];
    block[ModbusRegisterMap::NotAnsweringCount] = counts[ModbusRegisterMap::NotAnswering];
    const qint64 uptime = qMax<qint64>(0, m_started.secsTo(now));
    ModbusRegisterMap::writeUInt32(block.subspan<ModbusRegisterMap::Uptime, 2>(),
                                   quint32(qMin<qint64>(uptime, 0xFFFFFFFF)), m_order);
}

ModbusService::Client* ModbusService::find(const QTcpSocket* socket)
{
    if (!socket)
        return nullptr;
    for (Client& client : m_clients)
        if (client.socket == socket)
            return &client;
    return nullptr;
}

// Every client holds a descriptor: beyond the limit a connection is closed at once.
bool ModbusService::admit(QTcpSocket* socket)
{
    if (int(m_clients.size()) >= m_clientLimit) {
        if (m_refused++ == 0)
            m_connectionLog.report(QStringLiteral("Modbus TCP service has %1 clients: further "
                                                  "connections are closed at once, first %2")
                                       .arg(m_clientLimit)
                                       .arg(peerText(socket)),
                                   QtWarningMsg);
        return false;
    }
    if (m_refused > 0) {
        m_connectionLog.report(
            QStringLiteral("Modbus TCP service accepts clients again; %1 connections were refused")
                .arg(m_refused));
        m_refused = 0;
    }
    socket->setReadBufferSize(kReadBufferSize);
    enableTcpKeepAlive(*socket);
    // Connected before Qt's own handler, so it runs first on every request.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { clientRead(socket); });
    const QString peer = peerText(socket);
    m_clients.push_back(Client{socket, peer, m_clock.now(),
                               BadInputLog(lcModbus, u"Modbus client " + peer, &m_connectionLog)});
    m_connectionLog.report(u"Modbus client connected: " + peer);
    emit stateChanged();
    return true;
}

void ModbusService::clientRead(QTcpSocket* socket)
{
    Client* client = find(socket);
    if (!client)
        return;
    m_reading = socket;
    ++client->reads;
    if (socket->bytesToWrite() <= kReplyBacklogLimit)
        return;
    m_connectionLog.report(u"Modbus client " + client->peer + u" does not take its replies: closed",
                           QtWarningMsg);
    // Qt's handler still reads this event's bytes: the socket must stay open until it has.
    QMetaObject::invokeMethod(socket, &QTcpSocket::abort, Qt::QueuedConnection);
}

void ModbusService::clientDisconnected(QTcpSocket* socket)
{
    const auto at =
        std::find_if(m_clients.begin(), m_clients.end(),
                     [socket](const Client& client) { return client.socket == socket; });
    if (at == m_clients.end())
        return;
    at->badInput.close();
    m_connectionLog.report(u"Modbus client disconnected: " + at->peer);
    m_clients.erase(at);
    socket->disconnect(this);
    emit stateChanged();
}

void ModbusService::requestRefused(const QString& what)
{
    if (Client* client = find(m_reading))
        client->badInput.report(what);
}

void ModbusService::closeIdleClients()
{
    const QDateTime now = m_clock.now();
    QList<std::pair<QPointer<QTcpSocket>, QString>> idle;
    for (Client& client : m_clients) {
        if (client.reads != client.readsSeen) {
            client.readsSeen = client.reads;
            client.lastRequest = now;
        } else if (client.socket && client.lastRequest.secsTo(now) >= kIdleSeconds) {
            idle.append({client.socket, client.peer});
        }
    }
    for (const auto& [socket, peer] : idle) {
        if (!socket)
            continue;
        m_connectionLog.report(QStringLiteral("Modbus client %1 closed: no request for %2 s")
                                   .arg(peer)
                                   .arg(kIdleSeconds));
        socket->abort();
    }
}
