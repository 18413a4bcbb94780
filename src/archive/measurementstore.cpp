#include "measurementstore.h"

#include "archivewriter.h"
#include "measurementrecord.h"

#include "model/settingsstore.h"

#include <QLocale>

MeasurementStore::MeasurementStore(SettingsStore& settings, ArchiveWriter& writer)
    : m_settings(settings), m_writer(writer)
{
}

void MeasurementStore::StoreMeasurement(const AnswerRecord& record)
{
    const MeasurementRecord measurement =
        MeasurementRecord::fromAnswer(record, QLocale::system().decimalPoint());
    m_settings.writeSetting(SettingsStore::rootKey(), QStringLiteral("LastMeasure"),
                            measurement.stamp());
    m_writer.AppendToArchive(measurement);
}
