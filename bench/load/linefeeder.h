#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <memory>

class PseudoTerminal;

// One loaded serial line: an active block behind a pseudo-terminal that sends
// 69-byte measurements back to back, never faster than the line's character
// rate. Each answer carries a sequence number in its first measured values, so
// the relay reader can tell when its last character went out. What the line
// cannot take at once waits here, as it would in a block's transmitter.
class LineFeeder {
public:
    static constexpr int kFrameCharacters = 141; // ':' + 69 pairs + CR LF

    LineFeeder(int line, quint8 blockAddress, int channels, int baud, const QElapsedTimer& clock);
    ~LineFeeder();
    LineFeeder(const LineFeeder&) = delete;
    LineFeeder& operator=(const LineFeeder&) = delete;

    bool isValid() const;
    QString devicePath() const;

    // Queues the answers the line rate allows by now and writes what the line takes.
    void pump();
    // The block stops: an answer begun is finished, the others are never sent.
    void stopOffering();
    // Reads and drops what the station sent (polls of silent blocks).
    void discardInput();

    // Characters the station has taken off the line: written minus still queued in it.
    qint64 takenCharacters() const;
    qint64 completeFrames() const { return m_completeFrames; }
    bool hasBacklog() const { return !m_pending.isEmpty(); }
    // Sequence number -> time (ms of the clock) its last character went out.
    const QHash<quint32, qint64>& sentAt() const { return m_sentAt; }

    static quint32 sequenceOf(const QByteArray& answerBytes); // bytes 8..11

private:
    QByteArray answer(int channel, quint32 sequence) const;

    int m_line = 0;
    quint8 m_blockAddress = 0;
    int m_channels = 1;
    double m_charactersPerMs = 0;
    const QElapsedTimer& m_clock;
    std::unique_ptr<PseudoTerminal> m_pty;
    qint64 m_start = -1;
    qint64 m_offered = 0; // characters queued so far
    bool m_offering = true;
    qint64 m_written = 0;
    QByteArray m_pending;
    QList<std::pair<qint64, quint32>> m_frameEnds; // end offset in written stream, sequence
    qint64 m_completeFrames = 0;
    quint32 m_nextSequence = 0;
    int m_nextChannel = 0;
    QHash<quint32, qint64> m_sentAt;
};
