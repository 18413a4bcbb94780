#pragma once

#include <QByteArrayView>

// Where the receiver hands every good answer with code 0x34: the decoded bytes
// of the frame, LRC included, as they came in on terminal t, between the
// boundaries of the receive tick that read them. Implemented by the answer
// decoder.
class AnswerHandler {
public:
    virtual ~AnswerHandler() = default;
    virtual void beginTick() = 0;
    virtual void endTick() = 0;
    virtual void DecodeAnswer(int t, QByteArrayView answer) = 0;        // n <= 12, 63, 69
    virtual void DecodeCompactAnswer(int t, QByteArrayView answer) = 0; // n = 58, 64
};
