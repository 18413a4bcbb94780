#pragma once

#include "answerrecord.h"

#include "serial/answerhandler.h"

#include <QObject>
#include <array>

class Clock;
class MeasurementSink;
class RecordRelay;
struct StationState;

// Decodes the answers the receiver checked: finds the poll-list channel by block
// address and channel number, sets its status, waiting and version cells, ends
// the wait of an on-request channel, fixes the measurement time and builds the
// AnswerRecord; measurements in the standard format go to the store, then every
// record to the relay.
class AnswerDecoder : public QObject, public AnswerHandler {
    Q_OBJECT
public:
    AnswerDecoder(StationState& state, const Clock& clock, MeasurementSink& store,
                  RecordRelay& relay, QObject* parent = nullptr);

    void DecodeAnswer(int t, QByteArrayView answer) override;
    void DecodeCompactAnswer(int t, QByteArrayView answer) override;

    const AnswerRecord& record() const { return m_record; }

private:
    using Stamp = std::array<quint8, 6>; // second, minute, hour, day, month, year - 2000

    void decodeStandard(const quint8* bytes, int n);
    void decodeCompact(const quint8* bytes, int n);
    int findChannel(quint8 blockAddress, quint8 channelNumber) const;
    void acceptAnswer(int k);
    Stamp measurementTime(const quint8* bytes, int n, int stampLength, int stampOffset) const;
    void finishShortRecord(int k, const Stamp& time);
    void writeTimeAndName(int offset, int k, const Stamp& time);
    void showStatus(int k, const QString& text, int colour);
    void convertCompactMeasurement(const quint8* bytes);

    StationState& m_state;
    const Clock& m_clock;
    MeasurementSink& m_store;
    RecordRelay& m_relay;
    AnswerRecord m_record;
};
