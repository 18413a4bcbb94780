// kx7r-blocksim: simulated measuring blocks on pseudo-terminals.
#include "configwriter.h"
#include "kx7rversion.h"
#include "quitonsignal.h"
#include "scenario.h"
#include "simulatedline.h"

#include "model/settingsstore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

namespace {
void fail(const QString& message)
{
    std::fprintf(stderr, "kx7r-blocksim: %s\n", message.toLocal8Bit().constData());
    std::exit(2);
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kx7r-blocksim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KX7R_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated measuring blocks on pseudo-terminals. Logs every frame "
                       "received (rx) and sent (tx) on standard output."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption lines(QStringLiteral("lines"),
                                   QStringLiteral("Only the first N lines of the field."),
                                   QStringLiteral("N"));
    const QCommandLineOption writeConfig(
        QStringLiteral("write-config"),
        QStringLiteral("Write the port mapping and a matching poll list into this station "
                       "settings file."),
        QStringLiteral("FILE"));
    const QCommandLineOption scenarioFile(QStringLiteral("scenario"),
                                          QStringLiteral("Scenario file (see tools/README.md)."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption linkDir(
        QStringLiteral("link-dir"),
        QStringLiteral("Folder of the stable device links COM1..COM10 (default: 'lines' beside "
                       "the settings file, else a temporary folder)."),
        QStringLiteral("DIR"));
    const QCommandLineOption livePort(QStringLiteral("live-port"),
                                      QStringLiteral("TCP_IP_Port to write (5000)."),
                                      QStringLiteral("N"), QStringLiteral("5000"));
    const QCommandLineOption archive(
        QStringLiteral("archive"),
        QStringLiteral("HistoryFolder to write (default: 'archive' beside the settings file)."),
        QStringLiteral("DIR"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of values and fault rates (1)."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    parser.addOptions({lines, writeConfig, scenarioFile, linkDir, livePort, archive, seed});
    parser.process(app);

    Scenario scenario = Scenario::builtIn();
    if (parser.isSet(scenarioFile)) {
        QFile file(parser.value(scenarioFile));
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("cannot read %1").arg(file.fileName()));
        QString error;
        const auto parsed = Scenario::parse(QString::fromUtf8(file.readAll()), &error);
        if (!parsed)
            fail(file.fileName() + u": " + error);
        scenario = *parsed;
    }
    if (parser.isSet(lines)) {
        bool ok = false;
        const int n = parser.value(lines).toInt(&ok);
        if (!ok || n < 1 || n > 10)
            fail(QStringLiteral("--lines needs 1..10"));
        scenario.keepLines(n);
    }
    bool seedOk = false;
    const quint32 seedValue = parser.value(seed).toUInt(&seedOk);
    if (!seedOk)
        fail(QStringLiteral("--seed needs a number"));

    const QString configPath = parser.value(writeConfig);
    std::unique_ptr<QTemporaryDir> temporaryLinks;
    QString links = parser.value(linkDir);
    if (links.isEmpty() && !configPath.isEmpty())
        links = QFileInfo(configPath).absoluteDir().filePath(QStringLiteral("lines"));
    if (links.isEmpty()) {
        temporaryLinks = std::make_unique<QTemporaryDir>();
        links = temporaryLinks->path();
    }
    if (!QDir().mkpath(links))
        fail(QStringLiteral("cannot create %1").arg(links));
    links = QDir(links).absolutePath();

    // Before the links exist, so a signal never leaves one behind.
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::signalled, &app, [&app](int) {
        SimulatedLine::log(QStringLiteral("stopping"));
        app.quit();
    });

    QElapsedTimer started;
    started.start();
    std::vector<std::unique_ptr<SimulatedLine>> simulated;
    QList<ConfigWriter::LinePath> paths;
    for (const Scenario::Line& line : scenario.lines) {
        auto sim =
            std::make_unique<SimulatedLine>(line, links, seedValue + quint32(line.number), started);
        QString error;
        if (!sim->open(&error))
            fail(error);
        paths.append({line.number, sim->stationPath()});
        simulated.push_back(std::move(sim));
    }

    if (!configPath.isEmpty()) {
        ConfigWriter::Root root;
        root.livePort = parser.value(livePort);
        root.archiveFolder =
            parser.isSet(archive)
                ? QDir(parser.value(archive)).absolutePath()
                : QFileInfo(configPath).absoluteDir().filePath(QStringLiteral("archive"));
        SettingsStore store(QFileInfo(configPath).absoluteFilePath());
        ConfigWriter::write(store, scenario, paths, root);
        SimulatedLine::log(QStringLiteral("settings written to %1").arg(store.fileName()));
    }
    SimulatedLine::log(QStringLiteral("field running: %1 lines, %2 channels")
                           .arg(scenario.lines.size())
                           .arg(scenario.channelCount()));

    const int code = QCoreApplication::exec();
    simulated.clear();
    return code;
}
