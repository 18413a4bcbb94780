#pragma once

#include "model/stationlimits.h"

#include <QByteArrayView>
#include <array>

// The framing of one terminal, the step between the bytes a line delivered and
// DecodeFrame: cuts the character stream into hex frames, ':' to CR LF, and
// keeps a frame that is not complete for the next bytes. Owns its buffer, so a
// frame survives ticks and re-opens of the port. Pure: no port, no log. Both
// the station's receiver and the tools' frame splitter cut frames with it.
class FrameAssembler {
public:
    // Characters of one frame being received, CR LF included; a frame that
    // grows to this without its CR LF is dropped and the assembler waits for the
    // next ':'.
    static constexpr int kBufferSize = kRxBufferSize;

    enum class Status {
        NeedMore, // every byte was taken, no frame ended
        Frame,    // a frame ended: its characters are in frame()
        Overflow, // a frame outgrew the buffer and was dropped
    };
    struct Step {
        Status status = Status::NeedMore;
        qsizetype consumed = 0;
    };

    // Takes bytes up to the end of the next frame or overflow, whichever comes
    // first, and says how many it took; call again with the rest.
    Step take(QByteArrayView bytes);

    // The characters between ':' and CR LF of the frame take() just ended,
    // followed in the buffer by a 0 where the CR was. Valid until the next take().
    QByteArrayView frame() const;
    // DecodeFrame: the frame's digit pairs turned into bytes in place, as the
    // blocks' firmware converts digits (only 0..9 and A..F are right), followed
    // by CR LF; true when the LRC checks. The bytes are then in bytes().
    bool DecodeFrame();
    // The first n decoded bytes.
    QByteArrayView bytes(int n) const;

    bool inFrame() const { return m_inFrame; }
    // Where the next character goes: the characters of the frame being received.
    int writeIndex() const { return m_writeIndex; }
    // Drops any frame being received (start-up, "Применить" of the terminals).
    void reset();

    // Decodes the first len characters of buffer in place, as DecodeFrame does;
    // len is bounded so that the pairs and the CR LF stay inside size.
    static bool decodeInPlace(quint8* buffer, int size, int len);

private:
    std::array<quint8, kBufferSize> m_buffer{};
    int m_writeIndex = 0;
    bool m_inFrame = false;
    bool m_crLfSeen = false;
    int m_frameLength = -1; // characters of the frame just ended, -1 for none
};
