#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <memory>

// Finds a host's addresses without ever holding up the event thread or the
// end of the process: the system's resolver runs on a thread of its own that
// nobody waits for. While one lookup of a name is still under way, asking
// again waits for it instead of starting another, so a resolver that never
// answers costs one thread, not one per attempt.
class HostLookup : public QObject {
    Q_OBJECT
public:
    explicit HostLookup(QObject* parent = nullptr);
    ~HostLookup() override;

    // Answers with found() or notFound(), later, never from within the call.
    void lookUp(const QString& host);
    // The answer of the lookup under way is not wanted any more.
    void cancel();

signals:
    void found(const QList<QHostAddress>& addresses);
    void notFound(const QString& reason);

private:
    struct Pending;
    void deliver(quint64 ticket, const QList<QHostAddress>& addresses, const QString& reason);

    std::shared_ptr<Pending> m_pending;
    quint64 m_ticket = 0;
};
