#include "archivewriter.h"

#include "measurementrecord.h"

#include "model/settingsstore.h"

ArchiveWriter::ArchiveWriter(const SettingsStore& settings, QObject* parent)
    : QObject(parent), m_settings(settings)
{
}

void ArchiveWriter::AppendToArchive(const MeasurementRecord&) {}
