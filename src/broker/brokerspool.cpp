#include "brokerspool.h"

#include "brokerlogging.h"

#include <QSaveFile>
#include <QtEndian>

namespace {
const QByteArray kMagic = QByteArrayLiteral("KX7RMQ1\n");
constexpr int kHeader = 7; // state, length, checksum
constexpr char kQueued = 'Q';
constexpr char kDone = 'D';
constexpr qint64 kCompactMinimum = 1024 * 1024;

QByteArray encode(char state, const QString& topic, const QByteArray& payload)
{
    const QByteArray topicBytes = topic.toUtf8();
    QByteArray body;
    body.reserve(2 + topicBytes.size() + payload.size());
    char word[4];
    qToLittleEndian(quint16(topicBytes.size()), word);
    body.append(word, 2);
    body += topicBytes;
    body += payload;

    QByteArray record(kHeader, '\0');
    record[0] = state;
    qToLittleEndian(quint32(body.size()), record.data() + 1);
    qToLittleEndian(quint16(qChecksum(body)), record.data() + 5);
    return record + body;
}
} // namespace

bool BrokerSpool::open(const QString& path)
{
    close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadWrite)) {
        qCWarning(lcBroker).noquote()
            << "cannot open the MQTT spool" << path << ":" << m_file.errorString();
        return false;
    }
    return load();
}

void BrokerSpool::close()
{
    m_file.close();
    m_entries.clear();
    m_firstSeq = 0;
    m_bytes = 0;
    m_end = 0;
}

void BrokerSpool::startFresh()
{
    m_file.resize(0);
    m_file.seek(0);
    m_file.write(kMagic);
    m_file.flush();
    m_end = kMagic.size();
}

bool BrokerSpool::load()
{
    const qint64 size = m_file.size();
    if (size == 0) {
        startFresh();
        return true;
    }
    if (m_file.read(kMagic.size()) != kMagic) {
        const QString path = m_file.fileName();
        const QString aside = path + QStringLiteral(".bad");
        qCWarning(lcBroker).noquote()
            << "the MQTT spool" << path << "is not a spool file; set aside as" << aside;
        m_file.close();
        QFile::remove(aside);
        QFile::rename(path, aside);
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::ReadWrite))
            return false;
        startFresh();
        return true;
    }

    qint64 pos = kMagic.size();
    while (pos + kHeader <= size) {
        m_file.seek(pos);
        const QByteArray header = m_file.read(kHeader);
        const char state = header[0];
        const qint64 length = qFromLittleEndian<quint32>(header.constData() + 1);
        if ((state != kQueued && state != kDone) || length < 2 || length > kMaxBody ||
            pos + kHeader + length > size)
            break;
        const QByteArray body = m_file.read(length);
        if (body.size() != length ||
            qFromLittleEndian<quint16>(header.constData() + 5) != qChecksum(body))
            break;
        m_entries.push_back({pos, kHeader + length, state == kDone});
        m_bytes += kHeader + length;
        pos += kHeader + length;
    }
    if (pos < size) {
        qCWarning(lcBroker).noquote() << "the MQTT spool" << m_file.fileName() << "ends in"
                                      << size - pos << "bytes of a torn record; cut off";
        m_file.resize(pos);
    }
    m_end = pos;
    popDone();
    if (!m_entries.empty())
        qCInfo(lcBroker).noquote()
            << m_entries.size() << "MQTT messages queued in" << m_file.fileName();
    return true;
}

bool BrokerSpool::append(const QString& topic, const QByteArray& payload)
{
    if (!m_file.isOpen())
        return false;
    const QByteArray record = encode(kQueued, topic, payload);
    while (!m_entries.empty() && m_bytes + record.size() > m_bound) {
        if (!m_dropping)
            qCWarning(lcBroker).noquote() << "the MQTT spool is full (" << m_bound / (1024 * 1024)
                                          << "MiB ); dropping the oldest queued messages";
        m_dropping = true;
        ++m_dropped;
        markDone(m_entries.front());
        popDone();
    }
    if (!m_file.seek(m_end) || m_file.write(record) != record.size() || !m_file.flush()) {
        if (!m_writeFailing)
            qCWarning(lcBroker).noquote() << "cannot write the MQTT spool" << m_file.fileName()
                                          << ":" << m_file.errorString();
        m_writeFailing = true;
        m_file.resize(m_end); // no half record stays behind
        return false;
    }
    m_writeFailing = false;
    m_entries.push_back({m_end, record.size(), false});
    m_bytes += record.size();
    m_end += record.size();
    compactIfWasteful();
    return true;
}

bool BrokerSpool::read(qint64 seq, QString* topic, QByteArray* payload)
{
    if (seq < m_firstSeq || seq >= endSeq())
        return false;
    const Entry& entry = m_entries[size_t(seq - m_firstSeq)];
    if (!m_file.seek(entry.offset + kHeader))
        return false;
    const QByteArray body = m_file.read(entry.size - kHeader);
    if (body.size() != entry.size - kHeader)
        return false;
    const qsizetype topicLength = qFromLittleEndian<quint16>(body.constData());
    if (2 + topicLength > body.size())
        return false;
    *topic = QString::fromUtf8(body.constData() + 2, topicLength);
    *payload = body.mid(2 + topicLength);
    return true;
}

void BrokerSpool::acknowledge(qint64 seq)
{
    if (seq < m_firstSeq || seq >= endSeq())
        return;
    Entry& entry = m_entries[size_t(seq - m_firstSeq)];
    if (entry.done)
        return;
    markDone(entry);
    popDone();
    compactIfWasteful();
}

bool BrokerSpool::markDone(Entry& entry)
{
    entry.done = true;
    return m_file.seek(entry.offset) && m_file.write(&kDone, 1) == 1 && m_file.flush();
}

void BrokerSpool::popDone()
{
    while (!m_entries.empty() && m_entries.front().done) {
        m_bytes -= m_entries.front().size;
        m_entries.pop_front();
        ++m_firstSeq;
    }
    if (m_entries.empty()) {
        if (m_dropping)
            qCWarning(lcBroker).noquote() << "the MQTT spool drained;" << m_dropped
                                          << "messages were dropped while it was full";
        m_dropping = false;
        if (m_file.isOpen() && m_end > kMagic.size()) {
            m_file.resize(kMagic.size());
            m_end = kMagic.size();
        }
    }
}

// Done records before the first queued one are dead space; once they outweigh
// the queue, the queue is copied into a fresh file.
void BrokerSpool::compactIfWasteful()
{
    if (m_entries.empty())
        return;
    const qint64 dead = m_entries.front().offset - kMagic.size();
    if (dead < kCompactMinimum || dead < m_bytes)
        return;
    QSaveFile fresh(m_file.fileName());
    if (!fresh.open(QIODevice::WriteOnly))
        return;
    fresh.write(kMagic);
    std::deque<Entry> moved;
    qint64 pos = kMagic.size();
    for (const Entry& entry : m_entries) {
        m_file.seek(entry.offset);
        const QByteArray record = m_file.read(entry.size);
        if (record.size() != entry.size)
            return; // keep the old file
        fresh.write(record);
        moved.push_back({pos, entry.size, entry.done});
        pos += entry.size;
    }
    if (!fresh.commit())
        return;
    const QString path = m_file.fileName();
    m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadWrite)) {
        qCWarning(lcBroker).noquote() << "cannot reopen the MQTT spool" << path;
        m_entries.clear();
        m_bytes = 0;
        return;
    }
    m_entries = std::move(moved);
    m_end = pos;
}
