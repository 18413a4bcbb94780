#pragma once

#include <QByteArrayView>

// Where the receiver hands every good answer with code 0x34: the decoded bytes
// of the frame, LRC included, as they came in on terminal t. Implemented by the
// answer decoder.
class AnswerHandler {
public:
    virtual ~AnswerHandler() = default;
    virtual void DecodeAnswer(int t, QByteArrayView answer) = 0;        // n <= 12, 63, 69
    virtual void DecodeCompactAnswer(int t, QByteArrayView answer) = 0; // n = 58, 64
};
