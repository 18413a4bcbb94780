#pragma once

#include <QObject>

class SettingsStore;
struct MeasurementRecord;

// Appends each measurement as one line to its channel's file of the day under
// the archive root (HistoryFolder, read at every measurement).
class ArchiveWriter : public QObject {
    Q_OBJECT
public:
    explicit ArchiveWriter(const SettingsStore& settings, QObject* parent = nullptr);

    void AppendToArchive(const MeasurementRecord& record);

signals:
    // The day folder neither existed nor could be created: "Unable to create
    // archive folder", caption "KX7R".
    void folderCreationFailed(const QString& folder);

private:
    const SettingsStore& m_settings;
};
