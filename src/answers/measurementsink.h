#pragma once

struct AnswerRecord;

// Takes every accepted measurement in the standard format (full record).
class MeasurementSink {
public:
    virtual ~MeasurementSink() = default;
    virtual void StoreMeasurement(const AnswerRecord& record) = 0;
};
