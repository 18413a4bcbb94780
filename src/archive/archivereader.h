#pragma once

#include <QString>
#include <QStringList>

class SettingsStore;

// Lists the archive files of whole days from a first to a last measurement stamp.
class ArchiveReader {
public:
    explicit ArchiveReader(const SettingsStore& settings);

    int SelectArchiveFiles(const QString& first, const QString& last, QStringList& files,
                           QStringList& dates) const;

private:
    const SettingsStore& m_settings;
};
