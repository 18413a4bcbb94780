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
    while (!bytes.isEmpty()) {
        const FrameAssembler::Step step = m_assembler.take(bytes);
        bytes = bytes.sliced(step.consumed);
        if (step.status == FrameAssembler::Status::Frame)
            frames.append(m_assembler.frame().toByteArray());
    }
    return frames;
}

void FrameSplitter::reset()
{
    m_assembler.reset();
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
