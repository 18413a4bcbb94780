#include "linefeeder.h"

#include "pseudoterminal.h"

#include "serial/hexframe.h"

#include <QDateTime>

#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
constexpr int kAnswerLength = 68; // without the LRC
constexpr int kSequence = 8;
constexpr int kClock = 57;
} // namespace

LineFeeder::LineFeeder(int line, quint8 blockAddress, int channels, int baud,
                       const QElapsedTimer& clock)
    : m_line(line), m_blockAddress(blockAddress), m_channels(qMax(1, channels)),
      m_charactersPerMs(baud / 10.0 / 1000.0), m_clock(clock),
      m_pty(std::make_unique<PseudoTerminal>())
{
}

LineFeeder::~LineFeeder() = default;

bool LineFeeder::isValid() const
{
    return m_pty->isValid();
}

QString LineFeeder::devicePath() const
{
    return m_pty->slavePath();
}

quint32 LineFeeder::sequenceOf(const QByteArray& answerBytes)
{
    if (answerBytes.size() < kSequence + 4)
        return 0;
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = value << 8 | quint8(answerBytes[kSequence + i]);
    return value;
}

QByteArray LineFeeder::answer(int channel, quint32 sequence) const
{
    QByteArray bytes(kAnswerLength, '\0');
    bytes[0] = char(m_blockAddress);
    bytes[1] = char(HexFrame::kRequestCode);
    bytes[2] = char(channel + 1); // sensor address
    bytes[3] = 0;                 // status: a measurement
    bytes[4] = char(channel);
    bytes[6] = 1; // version
    for (int i = 0; i < 4; ++i)
        bytes[kSequence + i] = char(sequence >> (24 - 8 * i));
    for (int i = kSequence + 4; i < kClock; ++i)
        bytes[i] = char(i);
    const QDateTime now = QDateTime::currentDateTime();
    const quint8 clock[6] = {quint8(now.time().second()), quint8(now.time().minute()),
                             quint8(now.time().hour()),   quint8(now.date().day()),
                             quint8(now.date().month()),  quint8(now.date().year() - 2000)};
    for (int i = 0; i < 6; ++i)
        bytes[kClock + i] = char(clock[i]);
    return HexFrame::encodeWithLrc(bytes);
}

void LineFeeder::pump()
{
    const qint64 now = m_clock.elapsed();
    if (m_start < 0)
        m_start = now;
    const auto due = qint64(double(now - m_start) * m_charactersPerMs);
    while (m_offering && m_offered + kFrameCharacters <= due) {
        // Unique over all lines: the line number in the top byte.
        const quint32 sequence = quint32(m_line) << 24 | m_nextSequence++;
        const QByteArray frame = answer(m_nextChannel, sequence);
        m_nextChannel = (m_nextChannel + 1) % m_channels;
        m_pending += frame;
        m_offered += frame.size();
        m_frameEnds.append({m_offered, sequence});
    }
    while (!m_pending.isEmpty()) {
        const ssize_t n =
            ::write(m_pty->masterFd(), m_pending.constData(), size_t(m_pending.size()));
        if (n <= 0)
            break; // the line is full: the rest waits
        m_pending.remove(0, n);
        m_written += n;
    }
    while (!m_frameEnds.isEmpty() && m_frameEnds.first().first <= m_written) {
        m_sentAt.insert(m_frameEnds.first().second, now);
        m_frameEnds.removeFirst();
        ++m_completeFrames;
    }
}

void LineFeeder::stopOffering()
{
    m_offering = false;
    if (m_frameEnds.isEmpty())
        return;
    const qint64 firstEnd = m_frameEnds.first().first;
    const bool begun = firstEnd - kFrameCharacters < m_written;
    const qint64 keep = begun ? firstEnd - m_written : 0;
    m_pending.truncate(keep);
    m_offered = m_written + keep;
    if (begun)
        m_frameEnds.resize(1);
    else
        m_frameEnds.clear();
}

void LineFeeder::discardInput()
{
    m_pty->read(0);
}

qint64 LineFeeder::takenCharacters() const
{
    int queued = 0;
    if (::ioctl(m_pty->slaveFd(), FIONREAD, &queued) != 0)
        queued = 0;
    return m_written - queued;
}
