#pragma once

#include "answers/measurementsink.h"

class ArchiveWriter;
class SettingsStore;

// Turns a full AnswerRecord into its archive line: stores the measurement stamp
// as LastMeasure first, so it advances even when the line cannot be written,
// then appends the line.
class MeasurementStore : public MeasurementSink {
public:
    MeasurementStore(SettingsStore& settings, ArchiveWriter& writer);

    void StoreMeasurement(const AnswerRecord& record) override;

private:
    SettingsStore& m_settings;
    ArchiveWriter& m_writer;
};
