#pragma once

struct AnswerRecord;

// Takes every accepted answer's record (length 78 or 21) to the live clients; may
// write the LRC into record byte length.
class RecordRelay {
public:
    virtual ~RecordRelay() = default;
    virtual void RelayRecord(AnswerRecord& record, int length) = 0;
};
