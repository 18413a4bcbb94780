#include "archivereader.h"

#include "model/settingsstore.h"

ArchiveReader::ArchiveReader(const SettingsStore& settings) : m_settings(settings) {}

int ArchiveReader::SelectArchiveFiles(const QString&, const QString&, QStringList&,
                                      QStringList&) const
{
    return 0;
}
