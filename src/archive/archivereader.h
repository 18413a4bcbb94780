#pragma once

#include "archiveplace.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class SettingsStore;

// Lists the archive files of whole days from a first to a last measurement
// stamp, in date then channel order: the history service's select request
// hands them out from the end, newest first.
class ArchiveReader {
public:
    using Visit = std::function<void(const ArchivePlace& place, const QString& path)>;

    explicit ArchiveReader(const SettingsStore& settings);

    // Appends to files and dates; returns the number appended. Stamps whose
    // first eight characters are not digits select nothing.
    int SelectArchiveFiles(const QString& first, const QString& last, QStringList& files,
                           QStringList& dates) const;

    // The same walk under the given root, each file handed to visit instead of
    // listed; returns the count.
    static int walkArchiveFiles(const QString& root, const QString& first, const QString& last,
                                const Visit& visit);

    // The newest file of the period that comes before the place in the walk
    // (before the period's end when there is no place); none when no file is left.
    std::optional<ArchivePlace>
    previousArchiveFile(const QString& first, const QString& last,
                        const std::optional<ArchivePlace>& before) const;

    // The archive root as the configuration holds it now.
    QString root() const;
    static QString filePath(const QString& root, const ArchivePlace& place);
    // DDMMYYYY of the place's day folder.
    static QString dateText(const ArchivePlace& place);

    // Characters 1-8 of a stamp as DDMMYYYY digits.
    static bool isDateStamp(const QString& stamp);

private:
    const SettingsStore& m_settings;
};
