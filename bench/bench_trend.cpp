// Trend benchmark: one row's archive at one measurement a second (86 400 lines
// a day), made here as the station writes it, then drawn as the measurements
// page draws it: read off the window's thread, thinned to the chart's pixel
// columns, shown and painted on the offscreen platform. It reports the time
// from asking to a painted chart for a day (warm and cold page cache) and a
// month (cold), and the memory the month's read and drawing took at its peak.
// The page cache is made cold with posix_fadvise(POSIX_FADV_DONTNEED) on every
// file, so no root rights are needed.

#include "archive/archivepath.h"
#include "archive/archivewriter.h"
#include "model/codepage1251.h"
#include "trends/archivecolumns.h"
#include "window/trendchartview.h"
#include "window/trendloader.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int kChannel = 1;
constexpr int kSecondsPerDay = 86400;

void appendTenths(QByteArray& line, long tenths)
{
    if (tenths < 0) {
        line += '-';
        tenths = -tenths;
    }
    line += QByteArray::number(qint64(tenths / 10));
    line += ',';
    line += char('0' + tenths % 10);
    line += '\t';
}

// A day's file of the row: every second, every value column filled.
void writeDay(const QString& root, const QDate& day)
{
    const QString folder = ArchivePath::dayFolder(root, day.year(), day.month(), day.day());
    QDir().mkpath(folder);
    QFile file(ArchivePath::filePath(folder, kChannel));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    const QByteArray name = toCp1251(QStringLiteral("Резервуар 1")) + '\t';
    QByteArray buffer = ArchiveWriter::headerLine();
    const int dayNumber = int(day.toJulianDay() % 1000);
    for (int s = 0; s < kSecondsPerDay; ++s) {
        buffer += name;
        char time[10];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
        buffer.append(time, 8);
        buffer += '\t';
        const double phase = (dayNumber * kSecondsPerDay + s) / 5000.0;
        for (int c = 2; c < 29; ++c)
            appendTenths(buffer, long(10 * (c * 100 + 50 * std::sin(phase + c))));
        buffer += "\r\n";
        if (buffer.size() > (1 << 20)) {
            file.write(buffer);
            buffer.clear();
        }
    }
    file.write(buffer);
    file.flush();
    // Written back now, so the page cache can let it go when asked.
    fdatasync(file.handle());
}

void dropFromPageCache(const QString& root, const QDate& first, const QDate& last)
{
    for (QDate day = first; day <= last; day = day.addDays(1)) {
        const QString path = ArchivePath::filePath(
            ArchivePath::dayFolder(root, day.year(), day.month(), day.day()), kChannel);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        if (fd < 0)
            continue;
        fdatasync(fd);
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

long statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The peak resident size starts again from the current one.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct Drawn {
    double ms = 0;
    qint64 lines = 0;
    qint64 points = 0;
    long peakKiB = 0; // above the resident size before
    long processPeakKiB = 0;
};

Drawn draw(TrendChartView& view, const QString& root, const QDate& first, const QDate& last)
{
    const QList<int> columns{ArchiveColumns::indexOf(QStringLiteral("Уровень S1, мм")),
                             ArchiveColumns::indexOf(QStringLiteral("T1"))};
    resetPeak();
    const long before = statusKiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    TrendRequest request;
    request.root = root;
    request.channel = kChannel;
    request.from = first.startOfDay();
    request.to = last.endOfDay();
    request.columns = columns;
    request.buckets = view.plotColumns();
    TrendLoader loader;
    QEventLoop loop;
    Drawn drawn;
    QObject::connect(&loader, &TrendLoader::loaded, &loop, [&](const TrendData& data) {
        view.showTrend(columns, data.series, request.from, request.to);
        drawn.lines = data.summary.lines;
        loop.quit();
    });
    loader.start(request);
    loop.exec();
    view.grab(); // painted
    drawn.ms = double(timer.nsecsElapsed()) / 1e6;
    drawn.points = view.pointCount();
    drawn.processPeakKiB = statusKiB("VmHWM:");
    drawn.peakKiB = drawn.processPeakKiB - before;
    return drawn;
}

void report(const char* what, const Drawn& d, double limitMs)
{
    std::printf("%-26s %9.1f ms (limit %5.0f)  lines %8lld  points %6lld  peak +%6.1f MiB\n", what,
                d.ms, limitMs, static_cast<long long>(d.lines), static_cast<long long>(d.points),
                double(d.peakKiB) / 1024.0);
}
} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption keep(QStringLiteral("archive"),
                                  QStringLiteral("Archive folder to make (or reuse) and keep."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption days(QStringLiteral("days"),
                                  QStringLiteral("Days of the long period (31)."),
                                  QStringLiteral("N"), QStringLiteral("31"));
    parser.addOptions({keep, days});
    parser.process(app);

    QTemporaryDir temporary;
    const QString root = parser.isSet(keep) ? parser.value(keep) : temporary.path();
    const QDate first(2024, 5, 1);
    const QDate last = first.addDays(std::max(1, parser.value(days).toInt()) - 1);
    QElapsedTimer making;
    making.start();
    int made = 0;
    for (QDate day = first; day <= last; day = day.addDays(1)) {
        const QString path = ArchivePath::filePath(
            ArchivePath::dayFolder(root, day.year(), day.month(), day.day()), kChannel);
        if (!QFile::exists(path)) {
            writeDay(root, day);
            ++made;
        }
    }
    std::printf("archive: %s, %lld days, %d made in %.1f s\n", qPrintable(root),
                static_cast<long long>(first.daysTo(last) + 1), made,
                double(making.elapsed()) / 1000.0);

    TrendChartView view;
    view.resize(1040, 400);
    view.show();
    QCoreApplication::processEvents();
    std::printf("chart: %d pixel columns\n", view.plotColumns());

    dropFromPageCache(root, first, first);
    report("day, cold page cache", draw(view, root, first, first), 300);
    report("day, warm page cache", draw(view, root, first, first), 300);
    dropFromPageCache(root, first, last);
    const Drawn month = draw(view, root, first, last);
    report("period, cold page cache", month, 3000);
    std::printf("period memory: peak +%.1f MiB (limit 64), the whole process at most %.1f MiB\n",
                double(month.peakKiB) / 1024.0, double(month.processPeakKiB) / 1024.0);
    return 0;
}
