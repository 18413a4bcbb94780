#pragma once

#include "acceptedanswer.h"

#include "serial/answerhandler.h"

#include <QObject>
#include <array>

class AnswerConsumer;
class Clock;
struct StationState;

// Decodes the answers the receiver checked: finds the poll-list channel by block
// address and channel number, sets its status, waiting and version cells, ends
// the wait of an on-request channel, fixes the measurement time, builds the
// AnswerRecord and, for a measurement, its 29 values. The result, one
// AcceptedAnswer, goes to the consumers (archive, live service, broker, ...),
// which also get every receive tick's boundaries through here.
class AnswerDecoder : public QObject, public AnswerHandler {
    Q_OBJECT
public:
    AnswerDecoder(StationState& state, const Clock& clock, AnswerConsumer& consumers,
                  QObject* parent = nullptr);

    void beginTick() override;
    void DecodeAnswer(int t, QByteArrayView answer) override;
    void DecodeCompactAnswer(int t, QByteArrayView answer) override;
    void endTick() override;

    // The record of the last accepted answer.
    const AnswerRecord& record() const { return m_answer.record; }

private:
    using Stamp = AcceptedAnswer::Time;

    void decodeStandard(const quint8* bytes, int n);
    void decodeCompact(const quint8* bytes, int n);
    int findChannel(quint8 blockAddress, quint8 channelNumber) const;
    void acceptAnswer(int k, const quint8* bytes, AcceptedAnswer::Format format);
    Stamp measurementTime(const quint8* bytes, int n, int stampLength, int stampOffset) const;
    void finishShortRecord(int k, const Stamp& time);
    void finishMeasurement(int k, const Stamp& time);
    void writeTimeAndName(int offset, int k, const Stamp& time);
    void showStatus(int k, const QString& text, int colour);
    void convertCompactMeasurement(const quint8* bytes);

    StationState& m_state;
    const Clock& m_clock;
    AnswerConsumer& m_consumers;
    // Rebuilt for every answer; its strings keep their capacity.
    AcceptedAnswer m_answer;
    AnswerRecord& m_record = m_answer.record;
};
