#pragma once

#include "measurementrecord.h"

#include "answers/measurementsink.h"

#include <QList>

class ArchiveWriter;
class SettingsStore;

// Turns a full AnswerRecord into its archive line: stores the measurement stamp
// as LastMeasure first, so it advances even when the line cannot be written,
// then appends the line. Between beginBatch and endBatch (one receive tick) the
// measurements are held and stored together at the end: LastMeasure once, with
// the last one's stamp, then every line, each file opened once.
class MeasurementStore : public MeasurementSink {
public:
    MeasurementStore(SettingsStore& settings, ArchiveWriter& writer);

    void StoreMeasurement(const AnswerRecord& record) override;

    // A tick larger than this is stored in parts of this many measurements
    // (a decoded line takes far more memory than its frame did).
    static constexpr qsizetype kMaxPending = 2048;

    void beginBatch();
    void endBatch();

private:
    void storePending();

    SettingsStore& m_settings;
    ArchiveWriter& m_writer;
    bool m_batching = false;
    QList<MeasurementRecord> m_pending; // at most kMaxPending
};
