#include "stationprocess.h"

#include "configwriter.h"
#include "scenario.h"

#include "answers/measurementrecord.h"
#include "model/codepage1251.h"
#include "model/settingsstore.h"
#include "web/httpsettings.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTcpServer>

namespace {
quint16 freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}
} // namespace

StationProcess::StationProcess(const QString& binary, const QStringList& devices,
                               int channelsPerLine, bool active, bool modbus)
    : m_binary(binary), m_livePort(freePort()), m_historyPort(freePort()),
      m_modbusPort(modbus ? freePort() : 0), m_httpPort(freePort())
{
    Scenario scenario;
    QList<ConfigWriter::LinePath> paths;
    for (int i = 0; i < devices.size(); ++i) {
        Scenario::Line line;
        line.number = i + 1;
        Scenario::Block block;
        block.address = 1 + i;
        block.activeSeconds = active ? 1 : 0;
        for (int c = 0; c < channelsPerLine; ++c) {
            Scenario::Channel channel;
            channel.number = c;
            channel.name = QStringLiteral("L%1K%2").arg(i + 1).arg(c);
            block.channels.append(channel);
        }
        line.blocks.append(block);
        scenario.lines.append(line);
        paths.append({i + 1, devices[i]});
    }
    SettingsStore store(m_dir.filePath(QStringLiteral("station.ini")));
    ConfigWriter::write(store, scenario, paths,
                        {QString::number(m_livePort), m_dir.filePath(QStringLiteral("archive"))});
    // Older builds ignore the value and are measured with the same file.
    store.writeSetting(HttpSettings::key(), HttpSettings::portName(), QString::number(m_httpPort));
}

StationProcess::~StationProcess()
{
    stop();
}

bool StationProcess::start(QString* error)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments = {QStringLiteral("--headless"), QStringLiteral("--config"),
                             m_dir.filePath(QStringLiteral("station.ini")),
                             QStringLiteral("--history-port"), QString::number(m_historyPort)};
    if (m_modbusPort != 0)
        arguments += {QStringLiteral("--modbus-port"), QString::number(m_modbusPort)};
    arguments += m_extraArguments;
    m_process.start(m_binary, arguments);
    if (!m_process.waitForStarted(5000)) {
        *error = m_binary + QStringLiteral(": ") + m_process.errorString();
        return false;
    }
    for (int i = 0; i < 200 && !log().contains("history service listening"); ++i)
        m_process.waitForReadyRead(50);
    if (!log().contains("history service listening")) {
        *error = QStringLiteral("the station did not start:\n") + QString::fromUtf8(m_log);
        return false;
    }
    for (int i = 0; m_modbusPort != 0 && i < 100 && !log().contains("Modbus TCP server listening");
         ++i)
        m_process.waitForReadyRead(50);
    if (m_modbusPort != 0 && !log().contains("Modbus TCP server listening")) {
        *error =
            QStringLiteral("the Modbus TCP server did not start:\n") + QString::fromUtf8(m_log);
        return false;
    }
    return true;
}

void StationProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(1000);
    log();
}

QByteArray StationProcess::log()
{
    m_log += m_process.readAll();
    return m_log;
}

double StationProcess::cpuMs() const
{
    // Nanoseconds on a CPU, per thread (first field of schedstat): finer than
    // the clock ticks of /proc/<pid>/stat.
    const QString tasks = QStringLiteral("/proc/%1/task").arg(m_process.processId());
    qint64 nanoseconds = 0;
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks + u'/' + task + u"/schedstat");
        if (schedstat.open(QIODevice::ReadOnly))
            nanoseconds += schedstat.readAll().split(' ').value(0).toLongLong();
    }
    return double(nanoseconds) / 1e6;
}

qint64 StationProcess::statusField(const char* name) const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& row : status.readAll().split('\n'))
        if (row.startsWith(name))
            return row.mid(qsizetype(qstrlen(name))).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

qint64 StationProcess::residentKiB() const
{
    return statusField("VmRSS:");
}

qint64 StationProcess::peakResidentKiB() const
{
    return statusField("VmHWM:");
}

qint64 StationProcess::archivedLines(qint64* headers, qint64* files) const
{
    const QByteArray header = toCp1251(MeasurementRecord::columnTitles().join(u'\t') + u'\t');
    qint64 lines = 0;
    qint64 headerCount = 0;
    qint64 fileCount = 0;
    QDirIterator it(m_dir.filePath(QStringLiteral("archive")), {QStringLiteral("*.mes")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        ++fileCount;
        for (const QByteArray& row : file.readAll().split('\n')) {
            if (row.isEmpty())
                continue;
            if (row.chopped(1) == header)
                ++headerCount;
            else
                ++lines;
        }
    }
    if (headers)
        *headers = headerCount;
    if (files)
        *files = fileCount;
    return lines;
}
