// kx7r-history: mirrors a station's archive over the history protocol.
#include "historymirror.h"
#include "kx7rversion.h"
#include "quitonsignal.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kx7r-history"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KX7R_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Mirrors the station's archive into a local folder (one run). Exit "
                       "codes: 0 done, 2 station not reachable, 3 out of protocol, 4 local "
                       "file error."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Station host."),
                                  QStringLiteral("HOST"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("History port (5001)."),
                                  QStringLiteral("PORT"), QStringLiteral("5001"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("Mirror folder."),
                                 QStringLiteral("DIR"));
    parser.addOptions({host, port, out});
    parser.process(app);

    bool ok = false;
    const uint portValue = parser.value(port).toUInt(&ok);
    if (!parser.isSet(host) || !parser.isSet(out) || !ok || portValue == 0 || portValue > 65535) {
        std::fprintf(stderr, "usage: kx7r-history --host HOST [--port 5001] --out DIR\n");
        return 2;
    }
    HistoryMirror mirror(parser.value(host), quint16(portValue), parser.value(out));
    QObject::connect(&mirror, &HistoryMirror::finished, &app, &QCoreApplication::exit);
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::signalled, &app, [&app](int) { app.exit(130); });
    QMetaObject::invokeMethod(&mirror, &HistoryMirror::start, Qt::QueuedConnection);
    return QCoreApplication::exec();
}
