#include "webservice.h"

#include "httprequest.h"
#include "httprequestreader.h"
#include "metricsexposition.h"
#include "weblogging.h"
#include "webpage.h"

#include "model/clock.h"
#include "net/acceptretry.h"
#include "net/tcpkeepalive.h"
#include "net/tcptexts.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

namespace {
QString peerText(const QTcpSocket* socket)
{
    return TcpTexts::address(socket->peerAddress()) + u':' + QString::number(socket->peerPort());
}

// Whether a Host header names this machine's loopback: a page of another site
// that had its name resolved to 127.0.0.1 (DNS rebinding) names itself.
bool namesLoopback(const QByteArray& host)
{
    QByteArray name = host.toLower();
    if (name.startsWith('[')) {
        name = name.mid(1, name.indexOf(']') - 1);
    } else if (const qsizetype colon = name.lastIndexOf(':'); colon >= 0) {
        name.truncate(colon);
    }
    if (name == "localhost")
        return true;
    QHostAddress address;
    return address.setAddress(QString::fromLatin1(name)) && address.isLoopback();
}
} // namespace

WebService::WebService(const StationState& state, const LatestAnswers& latest, const Clock& clock,
                       QObject* parent)
    : QObject(parent), m_state(state), m_latest(latest), m_clock(clock), m_started(clock.now()),
      m_report(state, latest), m_server(new QTcpServer(this)),
      m_connectionLog(lcWeb, QStringLiteral("web status service"))
{
    connect(m_server, &QTcpServer::newConnection, this, &WebService::acceptPending);
    new AcceptRetry(*m_server, lcWeb, QStringLiteral("web status service"));
    m_idleTimer.setInterval(kIdleCheckMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &WebService::closeIdleClients);
}

WebService::~WebService()
{
    stop();
}

Outcome WebService::listen(const QHostAddress& address, quint16 port)
{
    if (!m_server->listen(address, port))
        return TcpTexts::listenFailure(*m_server);
    m_idleTimer.start();
    return Outcome::success();
}

void WebService::stop()
{
    m_idleTimer.stop();
    m_server->close();
    const std::vector<Client> clients = std::move(m_clients);
    m_clients.clear();
    for (const Client& client : clients) {
        if (!client.socket)
            continue;
        client.socket->disconnect(this);
        client.socket->abort();
        client.socket->deleteLater();
    }
    if (!clients.empty())
        emit clientsChanged();
}

bool WebService::isListening() const
{
    return m_server->isListening();
}

quint16 WebService::port() const
{
    return m_server->serverPort();
}

WebService::Client* WebService::find(const QTcpSocket* socket)
{
    for (Client& client : m_clients)
        if (client.socket == socket)
            return &client;
    return nullptr;
}

void WebService::acceptPending()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (int(m_clients.size()) >= m_clientLimit) {
            refuse(socket);
            continue;
        }
        if (m_refused > 0) {
            m_connectionLog.report(
                QStringLiteral("web status service accepts clients again; %1 connections were "
                               "refused")
                    .arg(m_refused));
            m_refused = 0;
        }
        // The kernel holds what does not fit: a client cannot make the station buffer more.
        socket->setReadBufferSize(HttpRequestReader::kMaxHeadBytes);
        enableTcpKeepAlive(*socket);
        // A reply is written whole: its last segment must not wait for the
        // client's delayed acknowledgement of the one before.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        const QString peer = peerText(socket);
        m_clients.push_back(Client{socket,
                                   peer,
                                   {},
                                   m_clock.now(),
                                   BadInputLog(lcWeb, u"web client " + peer, &m_connectionLog)});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { serve(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { clientGone(socket); });
        emit clientsChanged();
    }
}

// Every client holds a descriptor: beyond the limit a connection is closed at once.
void WebService::refuse(QTcpSocket* socket)
{
    if (m_refused++ == 0)
        m_connectionLog.report(QStringLiteral("web status service has %1 clients: further "
                                              "connections are closed at once, first %2")
                                   .arg(m_clientLimit)
                                   .arg(peerText(socket)),
                               QtWarningMsg);
    socket->abort();
    socket->deleteLater();
}

// Answers the whole requests in the client's bytes, in order, while its
// replies are taken; a bad one gets its error and the connection ends.
void WebService::serve(QTcpSocket* socket)
{
    Client* client = find(socket);
    while (client && !client->closing && socket->bytesToWrite() <= kReplyBacklogLimit) {
        const qint64 room = HttpRequestReader::kMaxHeadBytes - client->buffer.size();
        if (room > 0 && socket->bytesAvailable() > 0)
            client->buffer += socket->read(room);
        const std::optional<Reply> reply = serveOne(client->buffer, client->badInput);
        if (!reply)
            return;
        client->lastRequest = m_clock.now();
        socket->write(reply->bytes);
        if (reply->close) {
            client->closing = true;
            socket->disconnectFromHost();
            return;
        }
        client = find(socket); // a write may have ended the connection
    }
}

std::optional<WebService::Reply> WebService::serveOne(QByteArray& buffer, BadInputLog& badInput)
{
    const HttpRequestReader::Result read = HttpRequestReader::read(buffer);
    if (read.status == HttpRequestReader::Status::Incomplete)
        return std::nullopt;
    ++m_requests;
    if (read.status == HttpRequestReader::Status::Bad) {
        ++m_badRequests;
        badInput.report(u"sent " + QString::fromLatin1(read.why) + u": " +
                        BadInputLog::quoted(buffer));
        buffer.clear();
        return Reply{HttpResponse::error(read.error).serialized(false), true};
    }
    buffer.remove(0, read.consumed);
    const HttpRequest& request = read.request;
    if (!request.isReadOnly()) {
        ++m_badRequests;
        badInput.report(u"sent a " + QString::fromLatin1(request.method.left(16)) +
                        u" request: this service only reads");
    }
    if (m_server->serverAddress().isLoopback() && !request.host.isEmpty() &&
        !namesLoopback(request.host)) {
        ++m_badRequests;
        badInput.report(u"sent a request for another host, " + BadInputLog::quoted(request.host) +
                        u": refused");
        return Reply{HttpResponse::error(403).serialized(request.keepAlive, request.isHead()),
                     !request.keepAlive};
    }
    return Reply{respond(request).serialized(request.keepAlive, request.isHead()),
                 !request.keepAlive};
}

HttpResponse WebService::respond(const HttpRequest& request)
{
    const bool known =
        request.path == "/" || request.path == "/api/status" || request.path == "/metrics";
    if (!known)
        return HttpResponse::error(404);
    if (!request.isReadOnly())
        return HttpResponse::error(405);
    HttpResponse response;
    if (request.path == "/") {
        response.contentType = "text/html; charset=utf-8";
        response.body = WebPage::html();
        response.headers.emplaceBack("Content-Security-Policy", WebPage::contentSecurityPolicy());
        response.headers.emplaceBack("X-Frame-Options", "DENY");
    } else if (request.path == "/api/status") {
        response = statusReply();
    } else {
        // The text exposition format, version 0.0.4, as Prometheus asks for it.
        response.contentType = "text/plain; version=0.0.4; charset=utf-8";
        response.body = MetricsExposition::write(
            m_state, {quint64(m_clients.size()), m_requests, m_badRequests});
    }
    return response;
}

HttpResponse WebService::statusReply()
{
    HttpResponse response;
    response.contentType = "application/json";
    response.body =
        m_report.json(m_services ? m_services() : ServiceSnapshot{}, m_clock.now(), m_started);
    return response;
}

void WebService::clientGone(QTcpSocket* socket)
{
    const auto at =
        std::find_if(m_clients.begin(), m_clients.end(),
                     [socket](const Client& client) { return client.socket == socket; });
    if (at == m_clients.end())
        return;
    at->badInput.close();
    m_clients.erase(at);
    socket->disconnect(this);
    socket->deleteLater();
    emit clientsChanged();
}

void WebService::closeIdleClients()
{
    const QDateTime now = m_clock.now();
    QList<QPointer<QTcpSocket>> idle;
    for (const Client& client : m_clients)
        if (client.socket && client.lastRequest.secsTo(now) >= kIdleSeconds)
            idle.append(client.socket);
    for (const QPointer<QTcpSocket>& socket : idle) {
        if (!socket)
            continue;
        // Aborting emits disconnected, which forgets the client.
        socket->abort();
        if (socket)
            clientGone(socket);
    }
}
