#include "answerdecoder.h"

#include "measurementsink.h"
#include "recordrelay.h"

#include "model/clock.h"
#include "model/stationstate.h"

AnswerDecoder::AnswerDecoder(StationState& state, const Clock& clock, MeasurementSink& store,
                             RecordRelay& relay, QObject* parent)
    : QObject(parent), m_state(state), m_clock(clock), m_store(store), m_relay(relay)
{
}

void AnswerDecoder::DecodeAnswer(int t, int)
{
    m_state.terminals[t].resetReceiver();
}

void AnswerDecoder::DecodeCompactAnswer(int t, int)
{
    m_state.terminals[t].resetReceiver();
}
