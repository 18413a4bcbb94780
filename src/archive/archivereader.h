#pragma once

#include <QString>
#include <QStringList>

class SettingsStore;

// Lists the archive files of whole days from a first to a last measurement
// stamp, in date then channel order: the history service's select request
// hands them out from the end, newest first.
class ArchiveReader {
public:
    explicit ArchiveReader(const SettingsStore& settings);

    // Appends to files and dates; returns the number appended. Stamps whose
    // first eight characters are not digits select nothing.
    int SelectArchiveFiles(const QString& first, const QString& last, QStringList& files,
                           QStringList& dates) const;

    // Characters 1-8 of a stamp as DDMMYYYY digits.
    static bool isDateStamp(const QString& stamp);

private:
    const SettingsStore& m_settings;
};
