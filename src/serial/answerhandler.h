#pragma once

// Where the receiver hands every good answer with code 0x34: the n decoded bytes
// are at the start of terminal t's rxBuffer. Implemented by the answer decoder.
class AnswerHandler {
public:
    virtual ~AnswerHandler() = default;
    virtual void DecodeAnswer(int t, int n) = 0;        // n <= 12, 63, 69
    virtual void DecodeCompactAnswer(int t, int n) = 0; // n = 58, 64
};
