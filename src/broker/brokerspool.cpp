#include "brokerspool.h"

#include "brokerlogging.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <array>

namespace {
const QByteArray kSync = QByteArrayLiteral("KX7S");
constexpr int kHeader = 20; // sync, length, seq, checksum
constexpr qint64 kCacheBytes = 8LL * 1024 * 1024;
const QString kMarkName = QStringLiteral("acked");
const QString kSegmentSuffix = QStringLiteral(".seg");

constexpr std::array<quint32, 256> crcTable()
{
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

quint32 crc32(const char* data, qsizetype size, quint32 crc = 0)
{
    static constexpr std::array<quint32, 256> table = crcTable();
    crc = ~crc;
    for (qsizetype i = 0; i < size; ++i)
        crc = table[(crc ^ quint8(data[i])) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

// The checksum covers length and seq (bytes 4..15) and the body.
quint32 recordCrc(const char* record, const char* body, qsizetype length)
{
    return crc32(body, length, crc32(record + 4, 12));
}

QByteArray encode(qint64 seq, const QByteArray& body)
{
    QByteArray record(kHeader, '\0');
    std::copy(kSync.begin(), kSync.end(), record.begin());
    qToLittleEndian(quint32(body.size()), record.data() + 4);
    qToLittleEndian(quint64(seq), record.data() + 8);
    qToLittleEndian(recordCrc(record.constData(), body.constData(), body.size()),
                    record.data() + 16);
    return record + body;
}

QString segmentName(qint64 firstSeq)
{
    return QStringLiteral("%1").arg(quint64(firstSeq), 16, 16, QLatin1Char('0')) + kSegmentSuffix;
}
} // namespace

BrokerSpool::BrokerSpool(qint64 bound) : m_bound(bound) {}

BrokerSpool::~BrokerSpool()
{
    close();
}

bool BrokerSpool::open(const QString& folder)
{
    close();
    m_folder = folder;
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        const QString aside = folder + QStringLiteral(".old");
        qCWarning(lcBroker).noquote()
            << "the MQTT spool" << folder << "is a file of an older layout; set aside as" << aside;
        QFile::remove(aside);
        QFile::rename(folder, aside);
    }
    if (!QDir().mkpath(folder)) {
        qCWarning(lcBroker).noquote() << "cannot create the MQTT spool folder" << folder;
        return false;
    }
    const QDir dir(folder);
    m_markFile = std::make_unique<QFile>(dir.filePath(kMarkName));
    if (!m_markFile->open(QIODevice::ReadWrite)) {
        qCWarning(lcBroker).noquote() << "cannot open the MQTT spool" << m_markFile->fileName()
                                      << ":" << m_markFile->errorString();
        m_markFile.reset();
        return false;
    }
    const QByteArray mark = m_markFile->read(12);
    if (mark.size() == 12 &&
        qFromLittleEndian<quint32>(mark.constData() + 8) == crc32(mark.constData(), 8))
        m_nextSeq = qint64(qFromLittleEndian<quint64>(mark.constData()));
    else if (!mark.isEmpty())
        qCWarning(lcBroker).noquote() << "the MQTT spool mark" << m_markFile->fileName()
                                      << "is damaged; everything in the spool is sent again";
    m_savedMark = m_nextSeq;

    const QStringList names =
        dir.entryList({QStringLiteral("*") + kSegmentSuffix}, QDir::Files, QDir::Name);
    for (const QString& name : names)
        loadSegment(dir.filePath(name));
    m_open = startSegment();
    if (m_queued > 0)
        qCInfo(lcBroker).noquote() << m_queued << "MQTT messages queued in" << folder;
    return m_open;
}

// Reads one segment whole (a few MiB at most), skipping damage to the next
// record that checks out.
void BrokerSpool::loadSegment(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcBroker).noquote()
            << "cannot read the MQTT spool" << path << ":" << file.errorString();
        return;
    }
    const QByteArray data = file.readAll();
    file.close();
    Segment segment{m_firstSegmentId + qint64(m_segments.size()), path, -1, data.size()};
    qint64 pos = 0;
    qint64 damagedFrom = -1;
    qint64 lastGood = m_nextSeq - 1;
    auto reportDamage = [&](qint64 end, qint64 nextSeq) {
        if (damagedFrom < 0)
            return;
        const QString lost = nextSeq < 0
                                 ? QStringLiteral("the rest of the file")
                                 : QString::number(qMax<qint64>(0, nextSeq - lastGood - 1)) +
                                       QStringLiteral(" messages");
        qCWarning(lcBroker).noquote()
            << "the MQTT spool" << path << "has" << end - damagedFrom << "damaged bytes at offset"
            << damagedFrom << "; skipped, lost" << lost;
        damagedFrom = -1;
    };
    while (pos < data.size()) {
        bool good = false;
        qint64 length = 0;
        qint64 seq = 0;
        if (pos + kHeader <= data.size() && data.mid(pos, 4) == kSync) {
            const char* record = data.constData() + pos;
            length = qFromLittleEndian<quint32>(record + 4);
            seq = qint64(qFromLittleEndian<quint64>(record + 8));
            good = length <= kMaxBody && pos + kHeader + length <= data.size() &&
                   qFromLittleEndian<quint32>(record + 16) ==
                       recordCrc(record, record + kHeader, length);
        }
        if (!good) {
            if (damagedFrom < 0)
                damagedFrom = pos;
            const qsizetype next = data.indexOf(kSync, pos + 1);
            pos = next < 0 ? data.size() : next;
            continue;
        }
        reportDamage(pos, seq);
        if (seq >= m_nextSeq) { // not yet acknowledged, and in order
            Entry entry;
            entry.seq = seq;
            entry.segment = segment.id;
            entry.offset = quint32(pos);
            entry.size = quint32(kHeader + length);
            m_entries.push_back(entry);
            m_bytes += entry.size;
            ++m_queued;
            m_nextSeq = seq + 1;
            segment.lastSeq = seq;
            lastGood = seq;
        }
        pos += kHeader + length;
    }
    reportDamage(data.size(), -1);
    if (segment.lastSeq < 0) { // nothing queued in it
        QFile::remove(path);
        return;
    }
    m_segments.push_back(segment);
}

bool BrokerSpool::startSegment()
{
    if (m_current)
        m_current->close();
    const QString path = QDir(m_folder).filePath(segmentName(m_nextSeq));
    m_current = std::make_unique<QFile>(path);
    if (!m_current->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        qCWarning(lcBroker).noquote()
            << "cannot write the MQTT spool" << path << ":" << m_current->errorString();
        m_current.reset();
        return false;
    }
    m_segments.push_back({m_firstSegmentId + qint64(m_segments.size()), path, -1, 0});
    m_pendingFrom = 0;
    return true;
}

void BrokerSpool::close()
{
    if (m_open) {
        flush();
        saveAcknowledged();
    }
    m_open = false;
    m_current.reset();
    m_markFile.reset();
    m_entries.clear();
    m_segments.clear();
    m_firstSegmentId = 0;
    m_pending.clear();
    m_nextSeq = 0;
    m_savedMark = -1;
    m_bytes = 0;
    m_cachedBytes = 0;
    m_queued = 0;
}

qint64 BrokerSpool::firstSeq() const
{
    return m_entries.empty() ? m_nextSeq : m_entries.front().seq;
}

qint64 BrokerSpool::append(const QByteArray& body)
{
    if (!m_open || body.size() > kMaxBody)
        return -1;
    const qint64 size = kHeader + body.size();
    while (m_queued > 0 && m_bytes + size > m_bound)
        dropOldest();
    Segment& segment = m_segments.back();
    const qint64 seq = m_nextSeq++;
    Entry entry;
    entry.seq = seq;
    entry.segment = segment.id;
    entry.offset = quint32(segment.size + m_pending.size());
    entry.size = quint32(size);
    if (m_cachedBytes + body.size() <= kCacheBytes) {
        entry.cached = body;
        m_cachedBytes += body.size();
    }
    m_entries.push_back(std::move(entry));
    m_pending += encode(seq, body);
    segment.lastSeq = seq;
    m_bytes += size;
    ++m_queued;
    return seq;
}

bool BrokerSpool::flush()
{
    if (!m_current || m_pending.isEmpty())
        return m_current != nullptr;
    Segment& segment = m_segments.back();
    if (!m_current->seek(segment.size) || m_current->write(m_pending) != m_pending.size()) {
        if (!m_writeFailing)
            qCWarning(lcBroker).noquote()
                << "cannot write the MQTT spool" << segment.path << ":" << m_current->errorString()
                << "; answers are kept in memory meanwhile";
        m_writeFailing = true;
        m_current->resize(segment.size); // no half record stays behind
        return false;
    }
    if (m_writeFailing)
        qCInfo(lcBroker).noquote() << "the MQTT spool" << segment.path << "is written again";
    m_writeFailing = false;
    segment.size += m_pending.size();
    m_pending.clear();
    const qint64 limit = qBound<qint64>(1, m_bound / 4, kSegmentBytes);
    if (segment.size >= limit)
        startSegment();
    return true;
}

bool BrokerSpool::read(qint64 from, qint64* seq, QByteArray* body)
{
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), from,
                                     [](const Entry& e, qint64 s) { return e.seq < s; });
    auto found = std::find_if(it, m_entries.end(), [](const Entry& e) { return !e.done; });
    if (found == m_entries.end())
        return false;
    *seq = found->seq;
    if (!found->cached.isNull()) {
        *body = found->cached;
        return true;
    }
    const Segment& segment = m_segments[size_t(found->segment - m_firstSegmentId)];
    if (found->segment == m_segments.back().id)
        flush(); // it may still wait in memory
    QFile file(segment.path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(found->offset))
        return false;
    const QByteArray record = file.read(found->size);
    if (record.size() != qsizetype(found->size))
        return false;
    *body = record.mid(kHeader);
    return true;
}

void BrokerSpool::acknowledge(qint64 seq)
{
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), seq,
                                     [](const Entry& e, qint64 s) { return e.seq < s; });
    if (it == m_entries.end() || it->seq != seq || it->done)
        return;
    it->done = true;
    --m_queued;
    popDone();
}

void BrokerSpool::popDone()
{
    while (!m_entries.empty() && m_entries.front().done) {
        m_bytes -= m_entries.front().size;
        m_cachedBytes -= m_entries.front().cached.size();
        m_entries.pop_front();
    }
    if (m_queued == 0 && m_dropping) {
        qCWarning(lcBroker).noquote()
            << "the MQTT spool drained;" << m_dropped << "messages were dropped while it was full";
        m_dropping = false;
    }
}

// The oldest segment goes at once; a message appended meanwhile lands in a
// fresh one.
void BrokerSpool::dropOldest()
{
    if (m_segments.size() == 1) {
        flush();
        if (m_segments.size() == 1)
            startSegment();
    }
    const qint64 oldest = m_entries.front().segment;
    if (!m_dropping)
        qCWarning(lcBroker).noquote() << "the MQTT spool is full (" << m_bound / (1024 * 1024)
                                      << "MiB ); dropping the oldest queued messages";
    m_dropping = true;
    for (Entry& entry : m_entries) {
        if (entry.segment != oldest)
            break;
        if (!entry.done) {
            entry.done = true;
            --m_queued;
            ++m_dropped;
        }
    }
    popDone();
}

bool BrokerSpool::writeMark()
{
    if (!m_markFile)
        return false;
    char mark[12];
    qToLittleEndian(quint64(firstSeq()), mark);
    qToLittleEndian(crc32(mark, 8), mark + 8);
    return m_markFile->seek(0) && m_markFile->write(mark, 12) == 12 && m_markFile->flush();
}

void BrokerSpool::saveAcknowledged()
{
    const qint64 mark = firstSeq();
    if (mark == m_savedMark || !writeMark())
        return;
    m_savedMark = mark;
    // Only once the mark is on disk may the segments it covers go.
    while (m_segments.size() > 1 && m_segments.front().lastSeq < mark) {
        QFile::remove(m_segments.front().path);
        m_segments.pop_front();
        ++m_firstSegmentId;
    }
}
