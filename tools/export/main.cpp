// kx7r-export: one row's archive over whole days as CSV, the same bytes as the
// measurements page's export.
#include "kx7rversion.h"

#include "model/settingsschema.h"
#include "model/settingsstore.h"
#include "model/stationlimits.h"
#include "trends/archivecolumns.h"
#include "trends/csvexport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {
enum Exit { Done = 0, Usage = 2, NoArchive = 3, WriteFailed = 4 };

int fail(int code, const QString& text)
{
    std::fprintf(stderr, "kx7r-export: %s\n", qPrintable(text));
    return code;
}

QDate dateOption(const QString& text)
{
    return QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kx7r-export"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KX7R_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes one poll-list row's archive from a first through a last day as CSV (RFC 4180, "
        "comma, UTF-8, CR LF, a header row): the column \"Время\" in ISO 8601 local time with "
        "its offset, then the chosen archive columns in archive order, numbers with a decimal "
        "point. Torn or unreadable archive lines are left out and counted on standard error. "
        "Exit codes: 0 done, 2 invalid arguments (row, dates, columns), 3 no archive folder, "
        "4 output not written."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption archive(QStringLiteral("archive"),
                                     QStringLiteral("Archive root folder."), QStringLiteral("DIR"));
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("Station settings file whose HistoryFolder is the archive root (without "
                       "--archive or --config: the user's station settings)."),
        QStringLiteral("FILE"));
    const QCommandLineOption row(QStringLiteral("row"), QStringLiteral("Poll-list row, 1..30."),
                                 QStringLiteral("N"));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("First day, included."),
                                  QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Last day, included."),
                                QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption columns(
        QStringLiteral("columns"),
        QStringLiteral("Archive column titles separated by ';' (default: all but \"Время\")."),
        QStringLiteral("TITLES"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("Output file (default: standard output)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption bom(QStringLiteral("bom"),
                                 QStringLiteral("Begin with a UTF-8 byte-order mark."));
    parser.addOptions({archive, config, row, from, to, columns, output, bom});
    parser.process(app);

    if (!parser.positionalArguments().isEmpty())
        return fail(Usage, QStringLiteral("unexpected argument: ") +
                               parser.positionalArguments().constFirst());
    if (parser.isSet(archive) && parser.isSet(config))
        return fail(Usage, QStringLiteral("give --archive or --config, not both"));
    bool ok = false;
    const int channel = parser.value(row).toInt(&ok);
    if (!parser.isSet(row) || !ok || channel < 1 || channel > kChannelCount)
        return fail(Usage, QStringLiteral("--row must be 1..%1").arg(kChannelCount));
    CsvRequest request;
    request.channel = channel;
    request.first = dateOption(parser.value(from));
    request.last = dateOption(parser.value(to));
    if (!request.first.isValid() || !request.last.isValid())
        return fail(Usage, QStringLiteral("--from and --to must be dates YYYY-MM-DD"));
    if (request.first > request.last)
        return fail(Usage, QStringLiteral("--from is after --to"));
    if (parser.isSet(columns)) {
        QString unknown;
        const auto chosen = ArchiveColumns::parseList(parser.value(columns), &unknown);
        if (!chosen)
            return fail(Usage, QStringLiteral("no archive column \"%1\"").arg(unknown));
        if (chosen->isEmpty())
            return fail(Usage, QStringLiteral("--columns names no column"));
        request.columns = *chosen;
    } else {
        request.columns = ArchiveColumns::allButTime();
    }
    request.byteOrderMark = parser.isSet(bom);

    if (parser.isSet(archive)) {
        request.root = parser.value(archive);
    } else {
        if (parser.isSet(config) && !QFile::exists(parser.value(config)))
            return fail(NoArchive, QStringLiteral("no settings file ") + parser.value(config));
        const SettingsStore settings(parser.value(config));
        request.root =
            settings.readSetting(SettingsStore::rootKey(), SettingsSchema::historyFolder);
        if (request.root.isEmpty())
            return fail(NoArchive, QStringLiteral("no HistoryFolder in ") + settings.fileName());
    }
    if (!QDir(request.root).exists())
        return fail(NoArchive, QStringLiteral("no archive folder ") + request.root);

    CsvResult result;
    if (parser.isSet(output)) {
        result = CsvExport::writeFile(parser.value(output), request);
    } else {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly))
            return fail(WriteFailed, QStringLiteral("cannot write standard output"));
        result = CsvExport::write(out, request);
    }
    if (result.summary.unreadableLines > 0)
        std::fprintf(stderr, "kx7r-export: %lld torn or unreadable line(s) left out\n",
                     static_cast<long long>(result.summary.unreadableLines));
    if (result.summary.unopenedFiles > 0)
        std::fprintf(stderr, "kx7r-export: %d file(s) could not be opened\n",
                     result.summary.unopenedFiles);
    if (!result.error.isEmpty())
        return fail(WriteFailed, QStringLiteral("output not written: ") + result.error);
    return Done;
}
