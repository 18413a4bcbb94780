#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Counts what happens to the files of one folder (Linux inotify): how often
// each was opened, closed after writing, and moved into place.
class FileEvents {
public:
    explicit FileEvents(const QString& folder);
    ~FileEvents();
    FileEvents(const FileEvents&) = delete;
    FileEvents& operator=(const FileEvents&) = delete;

    bool isValid() const { return m_fd >= 0 && m_watch >= 0; }
    // Reads the events queued so far.
    void collect();
    int opened(const QString& name) const { return m_opened.value(name); }
    int closedAfterWrite(const QString& name) const { return m_closedWritten.value(name); }
    int movedIn(const QString& name) const { return m_movedIn.value(name); }

private:
    int m_fd = -1;
    int m_watch = -1;
    QMap<QString, int> m_opened;
    QMap<QString, int> m_closedWritten;
    QMap<QString, int> m_movedIn;
};
