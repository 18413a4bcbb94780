#include "relayreader.h"

#include "linefeeder.h"

#include <QTcpSocket>

namespace {
constexpr int kFullRecordWithLrc = 79;
}

RelayReader::RelayReader(const QElapsedTimer& clock, QObject* parent)
    : QObject(parent), m_clock(clock), m_socket(new QTcpSocket(this))
{
    connect(m_socket, &QTcpSocket::readyRead, this, &RelayReader::onReadyRead);
}

bool RelayReader::connectTo(quint16 port)
{
    m_socket->connectToHost(QHostAddress::LocalHost, port);
    return m_socket->waitForConnected(5000);
}

void RelayReader::onReadyRead()
{
    const qint64 now = m_clock.elapsed();
    for (const QByteArray& digits : m_splitter.feed(m_socket->readAll())) {
        ++m_frames;
        const auto bytes = FrameSplitter::decodeChecked(digits);
        if (!bytes || bytes->size() != kFullRecordWithLrc) {
            ++m_badFrames;
            continue;
        }
        const quint32 sequence = LineFeeder::sequenceOf(*bytes);
        if (m_arrivedAt.contains(sequence))
            ++m_repeats;
        else
            m_arrivedAt.insert(sequence, now);
    }
}
