#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class SettingsStore;
struct ArchiveCounters;
struct MeasurementRecord;

// Appends each measurement as one line to its channel's file of the day under
// the archive root (HistoryFolder, read at every measurement):
// root/year/month name/day/"Измерения по каналу N.mes", tab-separated text in
// code page 1251 with a header line when the file is created. Several
// measurements at once (one receive tick) open each file once and append its
// lines in one write, in the order given.
class ArchiveWriter : public QObject {
    Q_OBJECT
public:
    explicit ArchiveWriter(const SettingsStore& settings, QObject* parent = nullptr);

    void AppendToArchive(const MeasurementRecord& record);
    void AppendToArchive(const QList<MeasurementRecord>& records);

    // Where lines written and lost are counted; none until set.
    void setCounters(ArchiveCounters* counters) { m_counters = counters; }

    static QByteArray headerLine();
    static QByteArray dataLine(const MeasurementRecord& record);

signals:
    // The day folder neither existed nor could be created: "Unable to create
    // archive folder", caption "KX7R".
    void folderCreationFailed(const QString& folder);

private:
    // The lines of one file, in arrival order.
    struct FileLines {
        QString folder;
        QString path;
        QByteArray lines;
        int count = 0;
    };
    void appendLines(const FileLines& batch);
    void count(quint64 ArchiveCounters::*counter, int lines);

    const SettingsStore& m_settings;
    ArchiveCounters* m_counters = nullptr;
};
