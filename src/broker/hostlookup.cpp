#include "hostlookup.h"

#include <QMetaObject>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <thread>

// Shared by the object and its resolver thread, which may outlive it.
struct HostLookup::Pending {
    std::mutex mutex;
    HostLookup* owner = nullptr; // null: nobody wants the answer
    quint64 ticket = 0;
    QByteArray host;
    bool done = false;
};

HostLookup::HostLookup(QObject* parent) : QObject(parent) {}

HostLookup::~HostLookup()
{
    cancel();
}

void HostLookup::lookUp(const QString& host)
{
    const quint64 ticket = ++m_ticket;
    QHostAddress literal;
    if (literal.setAddress(host)) {
        QMetaObject::invokeMethod(
            this, [this, ticket, literal] { deliver(ticket, {literal}, {}); },
            Qt::QueuedConnection);
        return;
    }
    const QByteArray name = host.toUtf8();
    if (m_pending) {
        const std::lock_guard lock(m_pending->mutex);
        if (!m_pending->done && m_pending->host == name) {
            m_pending->owner = this;
            m_pending->ticket = ticket;
            return;
        }
        m_pending->owner = nullptr;
    }
    auto pending = std::make_shared<Pending>();
    pending->owner = this;
    pending->ticket = ticket;
    pending->host = name;
    m_pending = pending;
    std::thread([pending] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        const int rc = getaddrinfo(pending->host.constData(), nullptr, &hints, &result);
        QList<QHostAddress> addresses;
        for (const addrinfo* a = result; a; a = a->ai_next) {
            const QHostAddress address(a->ai_addr);
            if (!address.isNull() && !addresses.contains(address))
                addresses.append(address);
        }
        if (result)
            freeaddrinfo(result);
        const QString reason = rc == 0 ? QString() : QString::fromUtf8(gai_strerror(rc));
        const std::lock_guard lock(pending->mutex);
        pending->done = true;
        if (HostLookup* owner = pending->owner) {
            const quint64 wanted = pending->ticket;
            QMetaObject::invokeMethod(
                owner,
                [owner, wanted, addresses, reason] { owner->deliver(wanted, addresses, reason); },
                Qt::QueuedConnection);
        }
    }).detach();
}

void HostLookup::cancel()
{
    ++m_ticket;
    if (!m_pending)
        return;
    const std::lock_guard lock(m_pending->mutex);
    m_pending->owner = nullptr;
}

void HostLookup::deliver(quint64 ticket, const QList<QHostAddress>& addresses,
                         const QString& reason)
{
    if (ticket != m_ticket)
        return;
    if (addresses.isEmpty())
        emit notFound(reason.isEmpty() ? QStringLiteral("no address") : reason);
    else
        emit found(addresses);
}
