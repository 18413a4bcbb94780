#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

// The tools' side of the hex frame: cuts a byte stream into the characters
// between ':' and CR LF, and turns a frame's digit pairs back into bytes. Strict
// where the station is lenient: only uppercase digits decode, so a tool sees
// exactly what the line carried.
class FrameSplitter {
public:
    static constexpr int kMaxFrameCharacters = 1024;

    // The frames completed by these bytes, without ':' and CR LF. A ':' inside
    // a frame starts it afresh; an overlong frame is dropped.
    QList<QByteArray> feed(QByteArrayView bytes);
    void reset();

    // Bytes of the digit pairs; nothing for an odd count or a non-hex digit.
    static std::optional<QByteArray> decode(QByteArrayView digits);
    // Bytes of a frame whose last byte is its correct LRC.
    static std::optional<QByteArray> decodeChecked(QByteArrayView digits);

private:
    QByteArray m_current;
    bool m_inFrame = false;
};
