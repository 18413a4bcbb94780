#pragma once

#include "answers/answerconsumer.h"
#include "answers/measurementrecord.h"

#include <QList>

class ArchiveWriter;
class SettingsStore;

// The archive's consumer of accepted answers: every measurement in the standard
// format becomes its archive line. StoreMeasurement stores the measurement
// stamp as LastMeasure first, so it advances even when the line cannot be
// written, then appends the line. Between beginTick and endTick (one receive
// tick) the measurements are held and stored together at the end: LastMeasure
// once, with the last one's stamp, then every line, each file opened once.
class MeasurementStore : public AnswerConsumer {
public:
    MeasurementStore(SettingsStore& settings, ArchiveWriter& writer);

    void beginTick() override;
    void accept(const AcceptedAnswer& answer) override;
    void endTick() override;

    void StoreMeasurement(const MeasurementRecord& measurement);

    // A tick larger than this is stored in parts of this many measurements
    // (a decoded line takes far more memory than its frame did).
    static constexpr qsizetype kMaxPending = 2048;

private:
    void storePending();

    SettingsStore& m_settings;
    ArchiveWriter& m_writer;
    bool m_batching = false;
    QList<MeasurementRecord> m_pending; // at most kMaxPending
};
