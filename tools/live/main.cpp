// kx7r-live: follows the station's live service.
#include "kx7rversion.h"
#include "liveclient.h"
#include "quitonsignal.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kx7r-live"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KX7R_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Prints every relay frame of the station's live service as one JSON line."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Station host."),
                                  QStringLiteral("HOST"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Live port (5000)."),
                                  QStringLiteral("PORT"), QStringLiteral("5000"));
    const QCommandLineOption raw(QStringLiteral("raw"),
                                 QStringLiteral("Print frames as they come."));
    const QCommandLineOption forward(
        QStringLiteral("forward"),
        QStringLiteral("Leave a forwarded request for poll-list ROW (1..30) with ARG (0..99): "
                       "--forward ROW --forward ARG, or --forward ROW,ARG."),
        QStringLiteral("ROW ARG"));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("Exit after printing N frames (0: right after "
                                                  "the forwarded request)."),
                                   QStringLiteral("N"));
    parser.addOptions({host, port, raw, forward, count});
    parser.addPositionalArgument(QStringLiteral("[ARG]"),
                                 QStringLiteral("The argument of --forward ROW ARG."));
    parser.process(app);

    auto usage = [](const char* message) {
        std::fprintf(stderr, "kx7r-live: %s\n", message);
        std::exit(2);
    };
    LiveClient::Options options;
    options.host = parser.value(host);
    bool ok = false;
    const uint portValue = parser.value(port).toUInt(&ok);
    if (!ok || portValue == 0 || portValue > 65535)
        usage("--port needs 1..65535");
    options.port = quint16(portValue);
    options.raw = parser.isSet(raw);
    if (parser.isSet(forward)) {
        QStringList parts = parser.values(forward);
        if (parts.size() == 1 && parts[0].contains(u','))
            parts = parts[0].split(u',');
        if (parts.size() == 1 && !parser.positionalArguments().isEmpty())
            parts.append(parser.positionalArguments().first());
        bool rowOk = false;
        bool argOk = false;
        const int row = parts.value(0).toInt(&rowOk);
        const int arg = parts.value(1).toInt(&argOk);
        if (parts.size() != 2 || !rowOk || !argOk || row < 1 || row > 30 || arg < 0 || arg > 99)
            usage("--forward needs ROW 1..30 and ARG 0..99");
        options.forward = QStringLiteral("%1%2")
                              .arg(row, 2, 10, QChar(u'0'))
                              .arg(arg, 2, 10, QChar(u'0'))
                              .toLatin1();
    }
    if (parser.isSet(count)) {
        options.count = parser.value(count).toInt(&ok);
        if (!ok || options.count < 0)
            usage("--count needs N >= 0");
    }

    LiveClient client(options);
    QObject::connect(&client, &LiveClient::finished, &app, &QCoreApplication::exit);
    QuitOnSignal quit;
    QObject::connect(&quit, &QuitOnSignal::signalled, &app, [&app](int) { app.quit(); });
    client.start();
    return QCoreApplication::exec();
}
