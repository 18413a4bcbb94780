#pragma once

struct AcceptedAnswer;

// What every consumer of accepted answers implements: the archive, the live
// service, the broker and whatever comes after them. A receive tick's answers
// arrive between beginTick() and endTick(), so a consumer may hold them and act
// once per tick; an answer outside a tick is to be taken at once. accept() gets
// the same value every consumer gets and changes nothing in it.
class AnswerConsumer {
public:
    virtual ~AnswerConsumer() = default;
    virtual void beginTick() = 0;
    virtual void accept(const AcceptedAnswer& answer) = 0;
    virtual void endTick() = 0;
};
