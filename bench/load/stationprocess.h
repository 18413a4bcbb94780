#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// One kx7r-station --headless under test, in a folder of its own: writes its
// settings for the given line devices (every line one block with its channels,
// active or on request), starts and stops it, and reads its CPU time and
// memory from /proc.
class StationProcess {
public:
    StationProcess(const QString& binary, const QStringList& devices, int channelsPerLine,
                   bool active);
    ~StationProcess();
    StationProcess(const StationProcess&) = delete;
    StationProcess& operator=(const StationProcess&) = delete;

    bool start(QString* error);
    void stop();

    quint16 livePort() const { return m_livePort; }
    // The web status service's port (builds without one ignore the setting).
    quint16 httpPort() const { return m_httpPort; }
    // CPU time of all its threads so far, in milliseconds.
    double cpuMs() const;
    // Resident and peak resident memory, KiB.
    qint64 residentKiB() const;
    qint64 peakResidentKiB() const;
    // Data lines in every archive file; header lines counted apart.
    qint64 archivedLines(qint64* headers = nullptr, qint64* files = nullptr) const;
    QByteArray log();

private:
    qint64 statusField(const char* name) const;

    QString m_binary;
    QTemporaryDir m_dir;
    quint16 m_livePort = 0;
    quint16 m_historyPort = 0;
    quint16 m_httpPort = 0;
    QProcess m_process;
    QByteArray m_log;
};
