#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <deque>
#include <memory>

// The on-disk queue of messages for the broker: every answer is appended here
// before it is handed to the broker, and leaves only when the broker has
// acknowledged it, so nothing is lost while the broker is away or the station
// restarts. Each message carries its sequence number, which keeps growing
// across restarts; the queue is bounded: past the bound the oldest are
// dropped, logged once per episode.
//
// The spool is a folder of segment files (<first seq, 16 hex digits>.seg),
// each a run of records
//   sync "KX7S", body length (4 bytes LE), seq (8 bytes LE),
//   CRC-32 of length, seq and body (4 bytes LE), body,
// and the file "acked" holding the first sequence number not yet
// acknowledged (8 bytes LE and their CRC-32). Appends are written once per
// flush(), the acknowledgement mark at most once per saveAcknowledged(); a
// segment whose records are all acknowledged is deleted, so nothing is ever
// copied. Reading skips a damaged stretch to the next good record.
class BrokerSpool {
public:
    static constexpr qint64 kDefaultBound = 128LL * 1024 * 1024;
    static constexpr qint64 kMaxBody = 64 * 1024; // larger bodies are damage, not messages
    static constexpr qint64 kSegmentBytes = 4LL * 1024 * 1024;

    explicit BrokerSpool(qint64 bound = kDefaultBound);
    ~BrokerSpool();
    BrokerSpool(const BrokerSpool&) = delete;
    BrokerSpool& operator=(const BrokerSpool&) = delete;

    // Opens or creates the folder and reads what is queued in it. A file in
    // its place (an older spool) is set aside as <name>.old.
    bool open(const QString& folder);
    void close();
    bool isOpen() const { return m_open; }
    QString folder() const { return m_folder; }

    // Queues a message and returns its sequence number; it reaches the disk
    // with the next flush(), so one receive tick costs one write.
    qint64 append(const QByteArray& body);
    // Writes what append() queued. False when the write failed (the messages
    // stay queued in memory and are written with the next flush).
    bool flush();
    // The first queued message with a sequence number >= from.
    bool read(qint64 from, qint64* seq, QByteArray* body);
    // Done with a message: it is not sent again once the mark is saved.
    void acknowledge(qint64 seq);
    // Writes the acknowledgement mark if it moved and deletes spent segments.
    void saveAcknowledged();

    qint64 firstSeq() const; // the first message not yet acknowledged
    qint64 endSeq() const { return m_nextSeq; }
    int count() const { return m_queued; }
    qint64 bytes() const { return m_bytes; }
    qint64 bound() const { return m_bound; }
    void setBound(qint64 bound) { m_bound = bound; }
    qint64 droppedCount() const { return m_dropped; }

private:
    struct Entry {
        qint64 seq = 0;
        qint64 segment = 0; // the segment's id (its index since open)
        quint32 offset = 0;
        quint32 size = 0; // the whole record
        bool done = false;
        QByteArray cached; // the body, while memory allows
    };
    struct Segment {
        qint64 id = 0;
        QString path;
        qint64 lastSeq = -1;
        qint64 size = 0;
    };

    void loadSegment(const QString& path);
    bool startSegment();
    void dropOldest();
    void popDone();
    bool writeMark();

    qint64 m_bound;
    bool m_open = false;
    QString m_folder;
    std::deque<Entry> m_entries;
    std::deque<Segment> m_segments;
    qint64 m_firstSegmentId = 0;
    std::unique_ptr<QFile> m_current; // the last segment, open for appends
    std::unique_ptr<QFile> m_markFile;
    QByteArray m_pending; // records appended since the last flush
    qint64 m_pendingFrom = 0;
    qint64 m_nextSeq = 0;
    qint64 m_savedMark = -1;
    qint64 m_bytes = 0;
    qint64 m_cachedBytes = 0;
    int m_queued = 0;
    qint64 m_dropped = 0;
    bool m_dropping = false;
    bool m_writeFailing = false;
};
