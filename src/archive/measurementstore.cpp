#include "measurementstore.h"

#include "archivewriter.h"
#include "measurementrecord.h"

#include "model/settingsstore.h"

MeasurementStore::MeasurementStore(SettingsStore& settings, ArchiveWriter& writer)
    : m_settings(settings), m_writer(writer)
{
}

void MeasurementStore::StoreMeasurement(const AnswerRecord&) {}
