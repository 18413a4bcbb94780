#include "framesplitter.h"

#include "serial/hexframe.h"

namespace {
int nibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

QList<QByteArray> FrameSplitter::feed(QByteArrayView bytes)
{
    QList<QByteArray> frames;
    for (const char c : bytes) {
        if (c == ':') {
            m_current.clear();
            m_inFrame = true;
            continue;
        }
        if (!m_inFrame)
            continue;
        m_current.append(c);
        if (m_current.endsWith("\r\n")) {
            m_current.chop(2);
            frames.append(m_current);
            reset();
        } else if (m_current.size() > kMaxFrameCharacters) {
            reset();
        }
    }
    return frames;
}

void FrameSplitter::reset()
{
    m_current.clear();
    m_inFrame = false;
}

std::optional<QByteArray> FrameSplitter::decode(QByteArrayView digits)
{
    if (digits.size() % 2 != 0)
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(digits.size() / 2);
    for (qsizetype i = 0; i + 1 < digits.size(); i += 2) {
        const int high = nibble(digits[i]);
        const int low = nibble(digits[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.append(char(high << 4 | low));
    }
    return bytes;
}

std::optional<QByteArray> FrameSplitter::decodeChecked(QByteArrayView digits)
{
    auto bytes = decode(digits);
    if (!bytes || bytes->isEmpty())
        return std::nullopt;
    if (HexFrame::lrc(QByteArrayView(*bytes).first(bytes->size() - 1)) != quint8(bytes->back()))
        return std::nullopt;
    return bytes;
}
