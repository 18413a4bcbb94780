#pragma once

#include "framesplitter.h"
#include "freeport.h"

#include "answers/answerrecord.h"
#include "answers/measurementrecord.h"
#include "model/codepage1251.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <memory>

// One end-to-end run in a temporary folder: the real kx7r-blocksim on a
// scenario, the real kx7r-station --headless on the settings the simulator
// wrote, and the clients, each a QProcess whose output is collected as it
// comes.
class FieldRun {
public:
    FieldRun()
    {
        // Both held at once, so the two services never draw the same number.
        QTcpServer live;
        QTcpServer history;
        live.listen(QHostAddress::LocalHost, 0);
        history.listen(QHostAddress::LocalHost, 0);
        m_livePort = live.serverPort();
        m_historyPort = history.serverPort();
    }
    ~FieldRun()
    {
        stopStation();
        stopSimulator();
    }
    FieldRun(const FieldRun&) = delete;
    FieldRun& operator=(const FieldRun&) = delete;

    static QString binary(const QString& name)
    {
        return QDir(QStringLiteral(KX7R_BIN_DIR)).filePath(name);
    }
    // A port nobody listens on now: bound, read and released.
    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString configPath() const { return path(QStringLiteral("station.ini")); }
    QString archivePath() const { return path(QStringLiteral("archive")); }
    quint16 livePort() const { return m_livePort; }
    quint16 historyPort() const { return m_historyPort; }

    // Starts the simulator on the scenario text and waits until its settings are written.
    bool startSimulator(const QByteArray& scenario)
    {
        QFile file(path(QStringLiteral("field.txt")));
        if (!file.open(QIODevice::WriteOnly) || file.write(scenario) != scenario.size())
            return false;
        file.close();
        m_simLog.clear();
        m_sim = std::make_unique<QProcess>();
        m_sim->setProcessChannelMode(QProcess::MergedChannels);
        m_sim->start(binary(QStringLiteral("kx7r-blocksim")),
                     {QStringLiteral("--scenario"), file.fileName(),
                      QStringLiteral("--write-config"), configPath(), QStringLiteral("--live-port"),
                      QString::number(m_livePort), QStringLiteral("--archive"), archivePath()});
        if (!m_sim->waitForStarted(5000))
            return false;
        for (int i = 0; i < 100 && !simLog().contains("field running"); ++i)
            m_sim->waitForReadyRead(50);
        return simLog().contains("field running");
    }

    void stopSimulator()
    {
        if (!m_sim)
            return;
        simLog();
        m_sim->terminate();
        if (!m_sim->waitForFinished(5000))
            m_sim->kill();
        m_sim->waitForFinished(1000);
        m_simLog += m_sim->readAll();
        m_sim.reset();
    }

    // A program (and its arguments) the station is started through, with the
    // station's command line behind them.
    void setStationWrapper(const QStringList& wrapper) { m_wrapper = wrapper; }

    // The web status service is off unless the arguments give it a port.
    bool startStation(const QStringList& extraArguments = {})
    {
        const QStringList web = extraArguments.contains(QStringLiteral("--http-port"))
                                    ? QStringList()
                                    : QStringList{QStringLiteral("--http-port"), QString()};
        m_station = std::make_unique<QProcess>();
        m_station->setProcessChannelMode(QProcess::MergedChannels);
        QStringList command = m_wrapper;
        command << binary(QStringLiteral("kx7r-station")) << QStringLiteral("--headless")
                << QStringLiteral("--config") << configPath() << QStringLiteral("--history-port")
                << QString::number(m_historyPort) << web << extraArguments;
        m_station->start(command.takeFirst(), command);
        if (!m_station->waitForStarted(5000))
            return false;
        for (int i = 0; i < 100 && !stationLog().contains("history service"); ++i)
            m_station->waitForReadyRead(50);
        return stationLog().contains("history service listening");
    }

    QProcess* station() { return m_station.get(); }

    // Ends the station as Ctrl-C would; true when it ended on its own.
    bool stopStation()
    {
        if (!m_station)
            return true;
        stationLog();
        m_station->terminate();
        const bool ended = m_station->waitForFinished(5000);
        if (!ended)
            m_station->kill();
        m_station->waitForFinished(1000);
        m_stationLog += m_station->readAll();
        m_station.reset();
        return ended;
    }

    // To pause and resume the field with SIGSTOP and SIGCONT; 0 when it is not running.
    qint64 simulatorPid() const { return m_sim ? m_sim->processId() : 0; }

    // Everything the simulator logged so far (collected on each call).
    const QByteArray& simLog()
    {
        if (m_sim)
            m_simLog += m_sim->readAll();
        return m_simLog;
    }
    const QByteArray& stationLog()
    {
        if (m_station)
            m_stationLog += m_station->readAll();
        return m_stationLog;
    }

    // The frames the simulator received (rx) or sent (tx) on a line, in order,
    // from the logged text after the first `after` bytes of the log.
    QStringList frames(int line, const char* direction, qsizetype after = 0)
    {
        QStringList out;
        const QString text = QString::fromUtf8(simLog().mid(after));
        const QRegularExpression re(QStringLiteral("line %1 %2 (:[0-9A-Fa-f]*)")
                                        .arg(line)
                                        .arg(QString::fromLatin1(direction)));
        for (const QString& row : text.split(u'\n')) {
            const auto m = re.match(row);
            if (m.hasMatch())
                out.append(m.captured(1));
        }
        return out;
    }
    // Rows of the simulator log that contain text.
    QStringList simRows(const QString& text)
    {
        QStringList out;
        for (const QString& row : QString::fromUtf8(simLog()).split(u'\n'))
            if (row.contains(text))
                out.append(row);
        return out;
    }

    // Runs a client to its end; standard output in out, standard error in err.
    static int runClient(const QString& name, const QStringList& arguments, QByteArray* out,
                         QByteArray* err, int timeoutMs = 30000)
    {
        QProcess process;
        process.start(binary(name), arguments);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished(1000);
        }
        if (out)
            *out = process.readAllStandardOutput();
        if (err)
            *err = process.readAllStandardError();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // Relative path -> bytes of every archive file under root.
    static QMap<QString, QByteArray> archiveFiles(const QString& root)
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(root, {QStringLiteral("*.mes")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            QFile f(file);
            if (f.open(QIODevice::ReadOnly))
                files.insert(QDir(root).relativeFilePath(file), f.readAll());
        }
        return files;
    }
    // The archive file of a poll-list row, wherever its day folder is.
    static QByteArray archiveFileOfRow(const QString& root, int row)
    {
        const QString name = QStringLiteral("Измерения по каналу %1.mes").arg(row);
        const auto files = archiveFiles(root);
        for (auto it = files.begin(); it != files.end(); ++it)
            if (it.key().endsWith(u'/' + name))
                return it.value();
        return {};
    }

    static QByteArray archiveHeader()
    {
        return toCp1251(MeasurementRecord::columnTitles().join(u'\t') + u'\t') + "\r\n";
    }
    // The archive line a 69-byte answer frame (as the simulator logged it) must
    // give for poll-list index k: the record the decoder builds, with the
    // block's clock as the measurement time, in the C locale's decimal point.
    static QByteArray archiveLineOf(const QString& frame, int k, const QString& name)
    {
        const auto answer = FrameSplitter::decodeChecked(frame.toLatin1().mid(1));
        if (!answer || answer->size() != 69)
            return {};
        AnswerRecord record;
        for (int i = 0; i < 62; ++i)
            record[i] = quint8(answer->at(i));
        record[0] = 0xFF;
        record[4] = quint8(k);
        for (int i = 0; i < 6; ++i)
            record[62 + i] = quint8(answer->at(57 + i));
        const QByteArray padded = toCp1251(name).left(10).leftJustified(10, ' ');
        for (int i = 0; i < 10; ++i)
            record[68 + i] = quint8(padded[i]);
        const MeasurementRecord m = MeasurementRecord::fromAnswer(record, QStringLiteral("."));
        QByteArray line;
        for (const QString& column : m.columns)
            line += (column.isEmpty() ? QByteArray("-") : toCp1251(column)) + '\t';
        return line + "\r\n";
    }

private:
    QTemporaryDir m_dir;
    quint16 m_livePort = 0;
    quint16 m_historyPort = 0;
    std::unique_ptr<QProcess> m_sim;
    std::unique_ptr<QProcess> m_station;
    QStringList m_wrapper;
    QByteArray m_simLog;
    QByteArray m_stationLog;
};
