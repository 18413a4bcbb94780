#pragma once

#include "httpresponse.h"
#include "servicesnapshot.h"
#include "statusreport.h"

#include "model/outcome.h"
#include "net/badinputlog.h"
#include "net/connectionlog.h"

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

class Clock;
class LatestAnswers;
class QTcpServer;
class QTcpSocket;
struct HttpRequest;
struct StationState;

// The web status service for a station without a screen: GET / (the status
// page), GET /api/status (JSON) and GET /metrics (Prometheus text), read
// from the tables, the counters and the latest answers; nothing it receives reaches the
// field or the settings. Requests are read by HttpRequestReader from a
// bounded buffer; clients are capped, kept alive, closed when idle, and
// read no further while their replies wait; bad requests are logged a few
// a minute.
class WebService : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultClientLimit = 16;
    static constexpr qint64 kIdleSeconds = 60;
    static constexpr int kIdleCheckMs = 5 * 1000;
    // Replies a client has not taken: beyond this its requests wait in the kernel.
    static constexpr qint64 kReplyBacklogLimit = 256 * 1024;

    WebService(const StationState& state, const LatestAnswers& latest, const Clock& clock,
               QObject* parent = nullptr);
    ~WebService() override;

    // What the other services say of themselves, asked at each status request.
    void setServiceSource(std::function<ServiceSnapshot()> source)
    {
        m_services = std::move(source);
    }

    Outcome listen(const QHostAddress& address, quint16 port);
    void stop();
    bool isListening() const;
    quint16 port() const;
    int clientCount() const { return int(m_clients.size()); }
    void setClientLimit(int limit) { m_clientLimit = qMax(1, limit); }
    int clientLimit() const { return m_clientLimit; }

    // The reply to one request, as the socket handler sends it.
    HttpResponse respond(const HttpRequest& request);
    struct Reply {
        QByteArray bytes;
        bool close = false; // the connection ends once these are sent
    };
    // The socket handler's step without a socket: the first request in a
    // client's bytes, taken out of them, and its reply; nothing while the
    // request is not whole. A bad one empties the buffer.
    std::optional<Reply> serveOne(QByteArray& buffer, BadInputLog& badInput);
    // Closes the clients that sent no whole request for kIdleSeconds (the idle timer's tick).
    void closeIdleClients();

signals:
    // A client came or went.
    void clientsChanged();

private:
    struct Client {
        QPointer<QTcpSocket> socket;
        QString peer;
        QByteArray buffer; // at most HttpRequestReader::kMaxHeadBytes
        QDateTime lastRequest;
        BadInputLog badInput;
        bool closing = false;
    };
    void acceptPending();
    void refuse(QTcpSocket* socket);
    void serve(QTcpSocket* socket);
    void clientGone(QTcpSocket* socket);
    Client* find(const QTcpSocket* socket);
    HttpResponse statusReply();

    const StationState& m_state;
    const LatestAnswers& m_latest;
    const Clock& m_clock;
    const QDateTime m_started;
    StatusReport m_report;
    std::function<ServiceSnapshot()> m_services;
    QTcpServer* m_server;
    ConnectionLog m_connectionLog;
    std::vector<Client> m_clients; // at most m_clientLimit
    int m_clientLimit = kDefaultClientLimit;
    qint64 m_refused = 0;      // connections refused in the running episode
    quint64 m_requests = 0;    // answered, refused ones included
    quint64 m_badRequests = 0; // refused: unreadable, too big, or not read-only
    QTimer m_idleTimer;
};
