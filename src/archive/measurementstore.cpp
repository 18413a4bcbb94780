#include "measurementstore.h"

#include "archivewriter.h"

#include "answers/acceptedanswer.h"
#include "model/settingsschema.h"
#include "model/settingsstore.h"

MeasurementStore::MeasurementStore(SettingsStore& settings, ArchiveWriter& writer)
    : m_settings(settings), m_writer(writer)
{
}

void MeasurementStore::accept(const AcceptedAnswer& answer)
{
    if (answer.archived() && answer.measurement)
        StoreMeasurement(*answer.measurement);
}

void MeasurementStore::StoreMeasurement(const MeasurementRecord& measurement)
{
    if (m_batching) {
        m_pending.append(measurement);
        if (m_pending.size() >= kMaxPending)
            storePending();
        return;
    }
    m_settings.writeSetting(SettingsStore::rootKey(), SettingsSchema::lastMeasure,
                            measurement.stamp());
    m_writer.AppendToArchive(measurement);
}

void MeasurementStore::beginTick()
{
    m_batching = true;
}

void MeasurementStore::endTick()
{
    m_batching = false;
    storePending();
}

void MeasurementStore::storePending()
{
    if (m_pending.isEmpty())
        return;
    m_settings.writeSetting(SettingsStore::rootKey(), SettingsSchema::lastMeasure,
                            m_pending.last().stamp());
    m_writer.AppendToArchive(m_pending);
    m_pending.clear();
}
