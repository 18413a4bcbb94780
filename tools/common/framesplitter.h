#pragma once

#include "serial/frameassembler.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

// The tools' side of the hex frame: cuts a byte stream into the characters
// between ':' and CR LF with the station's own frame assembler, and turns a
// frame's digit pairs back into bytes. Strict where the station is lenient:
// only uppercase digits decode, so a tool sees exactly what the line carried.
class FrameSplitter {
public:
    // The frames completed by these bytes, without ':' and CR LF. A ':' inside
    // a frame starts it afresh; a frame that outgrows the station's buffer is
    // dropped.
    QList<QByteArray> feed(QByteArrayView bytes);
    void reset();

    // Bytes of the digit pairs; nothing for an odd count or a non-hex digit.
    static std::optional<QByteArray> decode(QByteArrayView digits);
    // Bytes of a frame whose last byte is its correct LRC.
    static std::optional<QByteArray> decodeChecked(QByteArrayView digits);

private:
    FrameAssembler m_assembler;
};
