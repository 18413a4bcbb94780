#pragma once

#include "answerconsumer.h"

#include <vector>

// The consumers of accepted answers in their order (archive, live service,
// broker): the decoder hands every answer and every tick boundary to this one
// list and does not know who is on it.
class AnswerConsumerList : public AnswerConsumer {
public:
    void add(AnswerConsumer& consumer) { m_consumers.push_back(&consumer); }

    void beginTick() override
    {
        for (AnswerConsumer* consumer : m_consumers)
            consumer->beginTick();
    }
    void accept(const AcceptedAnswer& answer) override
    {
        for (AnswerConsumer* consumer : m_consumers)
            consumer->accept(answer);
    }
    void endTick() override
    {
        for (AnswerConsumer* consumer : m_consumers)
            consumer->endTick();
    }

private:
    std::vector<AnswerConsumer*> m_consumers;
};
