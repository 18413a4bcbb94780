#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// One kx7r-station --headless under test, in a folder of its own: writes its
// settings for the given line devices (every line one block with its channels,
// active or on request, and the Modbus TCP server when asked), starts and stops it, and reads its
// CPU time and memory from /proc.
class StationProcess {
public:
    // modbus: the Modbus TCP server on a port of its own; else off.
    StationProcess(const QString& binary, const QStringList& devices, int channelsPerLine,
                   bool active, bool modbus = false);
    ~StationProcess();
    StationProcess(const StationProcess&) = delete;
    StationProcess& operator=(const StationProcess&) = delete;

    // Given before start(): more of the station's command line.
    void setExtraArguments(const QStringList& arguments) { m_extraArguments = arguments; }
    bool start(QString* error);
    void stop();

    quint16 livePort() const { return m_livePort; }
    quint16 modbusPort() const { return m_modbusPort; }
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
    QStringList m_extraArguments;
    QTemporaryDir m_dir;
    quint16 m_livePort = 0;
    quint16 m_historyPort = 0;
    quint16 m_modbusPort = 0;
    quint16 m_httpPort = 0;
    QProcess m_process;
    QByteArray m_log;
};
