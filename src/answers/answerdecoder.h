#pragma once

#include "answerrecord.h"

#include "serial/answerhandler.h"

#include <QObject>

class Clock;
class MeasurementSink;
class RecordRelay;
struct StationState;

// Decodes checked answers into channel status cells and AnswerRecords; ends the
// wait of on-request channels; passes measurements to the store, then every
// record to the relay.
class AnswerDecoder : public QObject, public AnswerHandler {
    Q_OBJECT
public:
    AnswerDecoder(StationState& state, const Clock& clock, MeasurementSink& store,
                  RecordRelay& relay, QObject* parent = nullptr);

    void DecodeAnswer(int t, int n) override;
    void DecodeCompactAnswer(int t, int n) override;

    const AnswerRecord& record() const { return m_record; }

private:
    StationState& m_state;
    const Clock& m_clock;
    MeasurementSink& m_store;
    RecordRelay& m_relay;
    AnswerRecord m_record;
};
