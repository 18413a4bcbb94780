#pragma once

#include "trends/seriesreader.h"

#include <QFutureWatcher>
#include <QObject>

// Reads a trend off the window's thread (Qt Concurrent): one read at a time,
// a new one cancels the one before, and cancel() stops it at the next day.
// Waits for a read still running when destroyed, so the worker never outlives it.
class TrendLoader : public QObject {
    Q_OBJECT
public:
    explicit TrendLoader(QObject* parent = nullptr);
    ~TrendLoader() override;

    void start(const TrendRequest& request);
    void cancel();
    bool isRunning() const { return m_watcher.isRunning(); }

signals:
    void progressed(int done, int total); // days
    void loaded(const TrendData& data);
    void cancelled();

private:
    void finish();

    QFutureWatcher<TrendData> m_watcher;
};
