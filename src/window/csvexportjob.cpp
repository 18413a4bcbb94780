#include "csvexportjob.h"

#include <QPromise>
#include <QtConcurrent>

CsvExportJob::CsvExportJob(QObject* parent) : QObject(parent)
{
    connect(&m_watcher, &QFutureWatcher<CsvResult>::progressValueChanged, this,
            [this](int done) { emit progressed(done, m_watcher.progressMaximum()); });
    connect(&m_watcher, &QFutureWatcher<CsvResult>::finished, this, &CsvExportJob::finish);
}

CsvExportJob::~CsvExportJob()
{
    m_watcher.disconnect(this);
    m_watcher.cancel();
    m_watcher.waitForFinished();
}

bool CsvExportJob::start(const QString& path, const CsvRequest& request)
{
    if (m_watcher.isRunning())
        return false;
    m_path = path;
    m_watcher.setFuture(QtConcurrent::run([path, request](QPromise<CsvResult>& promise) {
        const auto progress = [&promise](int done, int total) {
            promise.setProgressRange(0, total);
            promise.setProgressValue(done);
            return !promise.isCanceled();
        };
        promise.addResult(CsvExport::writeFile(path, request, progress));
    }));
    return true;
}

void CsvExportJob::cancel()
{
    if (m_watcher.isRunning())
        m_watcher.cancel();
}

void CsvExportJob::finish()
{
    const QFuture<CsvResult> future = m_watcher.future();
    CsvResult result;
    if (future.resultCount() > 0)
        result = future.result();
    else
        result.error = QStringLiteral("cancelled");
    emit finished(m_path, result);
}
