#pragma once

#include <QFile>
#include <QString>
#include <deque>

// The on-disk queue of messages for the broker: every answer is appended here
// before it is handed to the broker, and leaves only when the broker has
// acknowledged it, so nothing is lost while the broker is away or the station
// restarts. Messages are numbered in order (sequence numbers); the queue is
// bounded: past the bound the oldest are dropped, logged once per episode.
//
// File layout: the magic "KX7RMQ1\n", then records of
//   state (1 byte: 'Q' queued, 'D' done), body length (4 bytes LE),
//   CRC-16 of the body (2 bytes LE), body = topic length (2 bytes LE), topic
//   (UTF-8), payload.
// A torn record at the end (a crash while writing) is cut off at start.
class BrokerSpool {
public:
    static constexpr qint64 kDefaultBound = 64LL * 1024 * 1024;
    static constexpr qint64 kMaxBody = 1024 * 1024; // larger bodies are damage, not messages

    explicit BrokerSpool(qint64 bound = kDefaultBound) : m_bound(bound) {}
    BrokerSpool(const BrokerSpool&) = delete;
    BrokerSpool& operator=(const BrokerSpool&) = delete;

    // Opens or creates the file and reads what is queued in it. A file that is
    // not a spool is set aside as <name>.bad.
    bool open(const QString& path);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_file.fileName(); }

    // Appends at the end, first dropping the oldest so the queue stays within
    // the bound. False when the message could not be written.
    bool append(const QString& topic, const QByteArray& payload);
    bool read(qint64 seq, QString* topic, QByteArray* payload);
    // Done with a message: it never comes back, not even after a restart.
    void acknowledge(qint64 seq);

    qint64 firstSeq() const { return m_firstSeq; }
    qint64 endSeq() const { return m_firstSeq + qint64(m_entries.size()); }
    int count() const { return int(m_entries.size()); }
    qint64 bytes() const { return m_bytes; }
    qint64 bound() const { return m_bound; }
    qint64 droppedCount() const { return m_dropped; }

private:
    struct Entry {
        qint64 offset = 0;
        qint64 size = 0; // the whole record
        bool done = false;
    };

    bool load();
    bool markDone(Entry& entry);
    void popDone();
    void compactIfWasteful();
    void startFresh();

    qint64 m_bound;
    QFile m_file;
    std::deque<Entry> m_entries;
    qint64 m_firstSeq = 0;
    qint64 m_bytes = 0;
    qint64 m_end = 0;
    qint64 m_dropped = 0;
    bool m_dropping = false;
    bool m_writeFailing = false;
};
