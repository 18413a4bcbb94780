#include "measurementstore.h"

#include "archivewriter.h"

#include "model/settingsstore.h"

#include <QLocale>

namespace {
const QString kLastMeasureValue = QStringLiteral("LastMeasure");
}

MeasurementStore::MeasurementStore(SettingsStore& settings, ArchiveWriter& writer)
    : m_settings(settings), m_writer(writer)
{
}

void MeasurementStore::StoreMeasurement(const AnswerRecord& record)
{
    MeasurementRecord measurement =
        MeasurementRecord::fromAnswer(record, QLocale::system().decimalPoint());
    if (m_batching) {
        m_pending.append(std::move(measurement));
        if (m_pending.size() >= kMaxPending)
            storePending();
        return;
    }
    m_settings.writeSetting(SettingsStore::rootKey(), kLastMeasureValue, measurement.stamp());
    m_writer.AppendToArchive(measurement);
}

void MeasurementStore::beginBatch()
{
    m_batching = true;
}

void MeasurementStore::endBatch()
{
    m_batching = false;
    storePending();
}

void MeasurementStore::storePending()
{
    if (m_pending.isEmpty())
        return;
    m_settings.writeSetting(SettingsStore::rootKey(), kLastMeasureValue, m_pending.last().stamp());
    m_writer.AppendToArchive(m_pending);
    m_pending.clear();
}
