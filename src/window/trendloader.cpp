#include "trendloader.h"

#include <QPromise>
#include <QtConcurrent>

TrendLoader::TrendLoader(QObject* parent) : QObject(parent)
{
    connect(&m_watcher, &QFutureWatcher<TrendData>::progressValueChanged, this,
            [this](int done) { emit progressed(done, m_watcher.progressMaximum()); });
    connect(&m_watcher, &QFutureWatcher<TrendData>::finished, this, &TrendLoader::finish);
}

TrendLoader::~TrendLoader()
{
    m_watcher.disconnect(this);
    m_watcher.cancel();
    m_watcher.waitForFinished();
}

void TrendLoader::start(const TrendRequest& request)
{
    cancel();
    m_watcher.setFuture(QtConcurrent::run([request](QPromise<TrendData>& promise) {
        const auto progress = [&promise](int done, int total) {
            promise.setProgressRange(0, total);
            promise.setProgressValue(done);
            return !promise.isCanceled();
        };
        TrendData data = SeriesReader::read(request, progress);
        if (!data.summary.cancelled)
            promise.addResult(std::move(data));
    }));
}

void TrendLoader::cancel()
{
    if (m_watcher.isRunning())
        m_watcher.cancel();
}

void TrendLoader::finish()
{
    const QFuture<TrendData> future = m_watcher.future();
    if (future.isCanceled() || future.resultCount() == 0)
        emit cancelled();
    else
        emit loaded(future.result());
}
