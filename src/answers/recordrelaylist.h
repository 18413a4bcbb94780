#pragma once

#include "recordrelay.h"

#include <vector>

// Hands each accepted answer's record to every consumer in turn (the live
// service, the broker publisher); the decoder sees one relay.
class RecordRelayList : public RecordRelay {
public:
    void add(RecordRelay& relay) { m_relays.push_back(&relay); }

    void RelayRecord(AnswerRecord& record, int length) override
    {
        for (RecordRelay* relay : m_relays)
            relay->RelayRecord(record, length);
    }

private:
    std::vector<RecordRelay*> m_relays;
};
