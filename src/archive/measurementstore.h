#pragma once

#include "answers/measurementsink.h"

#include <QChar>

class ArchiveWriter;
class SettingsStore;

// Turns a full AnswerRecord into its archive line: stores the stamp as
// LastMeasure, then appends the line.
class MeasurementStore : public MeasurementSink {
public:
    MeasurementStore(SettingsStore& settings, ArchiveWriter& writer);

    void StoreMeasurement(const AnswerRecord& record) override;

private:
    SettingsStore& m_settings;
    ArchiveWriter& m_writer;
};
