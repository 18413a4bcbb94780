#include "frameassembler.h"

namespace {
constexpr quint8 kColon = 0x3A;
constexpr quint8 kCr = 0x0D;
constexpr quint8 kLf = 0x0A;

// A digit's value as the blocks' firmware computes it: only 0..9 and A..F are
// right, anything else gives some value (8-bit wrap kept on purpose: it is the
// line check that drops spoiled frames).
quint8 nibbleValue(quint8 x)
{
    return quint8(x < 0x3A ? x - 0x30 : x - 0x37);
}
} // namespace

FrameAssembler::Step FrameAssembler::take(QByteArrayView bytes)
{
    m_frameLength = -1;
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = quint8(bytes[i]);
        if (c == kColon) {
            if (m_inFrame)
                m_writeIndex = 0;
            m_crLfSeen = false;
            m_inFrame = true;
            continue;
        }
        if (!m_inFrame)
            continue;
        const int at = m_writeIndex;
        m_buffer[size_t(at)] = c;
        if (at > 0 && m_buffer[size_t(at - 1)] == kCr && c == kLf)
            m_crLfSeen = true;
        if (m_crLfSeen) {
            m_buffer[size_t(at - 1)] = 0; // the CR
            m_frameLength = at - 1;
            reset();
            return {Status::Frame, i + 1};
        }
        m_writeIndex = at + 1;
        if (m_writeIndex >= kBufferSize) {
            reset();
            return {Status::Overflow, i + 1};
        }
    }
    return {Status::NeedMore, size};
}

QByteArrayView FrameAssembler::frame() const
{
    if (m_frameLength < 0)
        return {};
    return QByteArrayView(reinterpret_cast<const char*>(m_buffer.data()), m_frameLength);
}

bool FrameAssembler::DecodeFrame()
{
    return decodeInPlace(m_buffer.data(), kBufferSize, qMax(0, m_frameLength));
}

QByteArrayView FrameAssembler::bytes(int n) const
{
    return QByteArrayView(reinterpret_cast<const char*>(m_buffer.data()),
                          qBound(0, n, kBufferSize));
}

void FrameAssembler::reset()
{
    m_crLfSeen = false;
    m_inFrame = false;
    m_writeIndex = 0;
}

bool FrameAssembler::decodeInPlace(quint8* buffer, int size, int len)
{
    // Room for the pairs and for the CR LF written after the bytes.
    len = qBound(0, len, size - 2);
    quint8 sum = 0;
    for (int i = 0; i < len; i += 2) {
        const quint8 high = nibbleValue(buffer[i]);
        const quint8 low = nibbleValue(buffer[i + 1]);
        const auto byte = quint8(quint8(high * 16) | low);
        buffer[i / 2] = byte;
        sum = quint8(sum + byte);
    }
    const int m = (len + 1) / 2;
    buffer[m] = kCr;
    buffer[m + 1] = kLf;
    return sum == 0;
}
