#pragma once

#include "trends/csvexport.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>

// Writes a CSV export off the window's thread (Qt Concurrent) through the same
// CsvExport as kx7r-export; the file appears only when complete. One at a
// time; waits for one still running when destroyed.
class CsvExportJob : public QObject {
    Q_OBJECT
public:
    explicit CsvExportJob(QObject* parent = nullptr);
    ~CsvExportJob() override;

    // False when one is still running.
    bool start(const QString& path, const CsvRequest& request);
    void cancel();
    bool isRunning() const { return m_watcher.isRunning(); }

signals:
    void progressed(int done, int total); // days
    // error empty: the file is written.
    void finished(const QString& path, const CsvResult& result);

private:
    void finish();

    QFutureWatcher<CsvResult> m_watcher;
    QString m_path;
};
