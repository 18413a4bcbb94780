// Window benchmark: the main window on the offscreen platform while the line
// monitor is fed at a busy field's rate. Each tick appends the monitor blocks of
// one receive tick (as the receiver writes them) and lets the window handle its
// events and paint, as the event loop does after a real tick. It reports the
// CPU time per tick with the monitor off, while it fills, and once it holds its
// full count of lines, on the monitor's page and on another one, and how long a
// change of page takes with the monitor full. Ticks run back to back; at one
// tick a second, CPU ms per tick / 10 is the percentage of one core.

#include "model/clock.h"
#include "model/settingsstore.h"
#include "serial/linemonitor.h"
#include "serial/monitorblock.h"
#include "shell/station.h"
#include "web/httpsettings.h"
#include "window/tformmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kMonitorPage = 1;
constexpr int kOtherPage = 0;
constexpr int kMeasurementBytes = 69;

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// A decoded 69-byte measurement answer of a block, LRC last.
QByteArray measurementAnswer(quint8 address, int seq)
{
    QByteArray bytes;
    bytes.append(char(address));
    bytes.append(char(0x34));
    for (int i = 2; i < kMeasurementBytes - 1; ++i)
        bytes.append(char((i * 7 + seq) & 0xFF));
    quint8 sum = 0;
    for (char c : bytes)
        sum = quint8(sum + quint8(c));
    bytes.append(char(quint8(-sum)));
    return bytes;
}

struct Run {
    Station& station;
    TFormMain& window;
    QTabWidget& pages;
    int framesPerTick;
    int seq = 0;

    // One receive tick's lines, then the event loop's turn after it.
    double tick(bool monitorOn)
    {
        const double start = threadCpuMs();
        LineMonitor& monitor = station.monitor();
        if (monitorOn && monitor.isEnabled()) {
            for (int f = 0; f < framesPerTick; ++f) {
                const int t = f % 10;
                const QByteArray bytes = measurementAnswer(quint8(1 + f), seq++);
                const QStringList lines = MonitorBlock::lines(
                    t + 1, QStringLiteral("COM%1").arg(t + 1), bytes, monitor.isEmpty());
                for (const QString& line : lines)
                    monitor.appendLine(line);
            }
        }
        QCoreApplication::processEvents();
        return threadCpuMs() - start;
    }

    // Wall-clock ms of one change of page, painting included.
    double switchTo(int page)
    {
        QElapsedTimer wall;
        wall.start();
        pages.setCurrentIndex(page);
        QCoreApplication::processEvents();
        return double(wall.nsecsElapsed()) / 1e6;
    }
};

struct Summary {
    double mean = 0;
    double max = 0;
};

Summary summarise(const std::vector<double>& values)
{
    Summary s;
    for (double v : values) {
        s.mean += v;
        s.max = std::max(s.max, v);
    }
    if (!values.empty())
        s.mean /= double(values.size());
    return s;
}

void print(const char* what, const std::vector<double>& values)
{
    const Summary s = summarise(values);
    std::printf("%-44s %9.2f ms mean %9.2f ms max  (%zu)\n", what, s.mean, s.max, values.size());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption frames(
        QStringLiteral("frames"),
        QStringLiteral("Monitor blocks per tick (default 18: ten busy lines)."),
        QStringLiteral("n"), QStringLiteral("18"));
    QCommandLineOption ticks(QStringLiteral("ticks"),
                             QStringLiteral("Ticks measured in each state (default 60)."),
                             QStringLiteral("n"), QStringLiteral("60"));
    parser.addOptions({frames, ticks});
    parser.process(app);
    const int framesPerTick = std::max(1, parser.value(frames).toInt());
    const int measured = std::max(1, parser.value(ticks).toInt());

    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("station.ini")));
    settings.writeSetting(SettingsStore::rootKey(), QStringLiteral("TCP_IP_Port"),
                          QStringLiteral("0"));
    settings.writeSetting(SettingsStore::rootKey(), QStringLiteral("HistoryFolder"), dir.path());
    settings.writeSetting(HttpSettings::key(), HttpSettings::portName(), QString());
    SystemClock clock;
    Station station(settings, clock, quint16(0));
    station.start(false);
    TFormMain window(station);
    window.show();
    QCoreApplication::processEvents();
    auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl"));
    auto* check = window.findChild<QCheckBox*>(QStringLiteral("chkReciveToMemo"));
    if (!pages || !check) {
        std::fprintf(stderr, "window controls not found\n");
        return 1;
    }
    Run run{station, window, *pages, framesPerTick};
    run.switchTo(kMonitorPage);

    std::vector<double> off, fillStart, fillEnd, fullShown, fullHidden, switches;
    for (int i = 0; i < measured; ++i)
        off.push_back(run.tick(false));

    check->setChecked(true);
    QElapsedTimer fillWall;
    fillWall.start();
    int fillTicks = 0;
    std::vector<double> fill;
    while (station.monitor().lineCount() < LineMonitor::kMaxLines) {
        fill.push_back(run.tick(true));
        ++fillTicks;
    }
    const size_t edge = std::min(fill.size(), size_t(measured));
    fillStart.assign(fill.begin(), fill.begin() + std::ptrdiff_t(edge));
    fillEnd.assign(fill.end() - std::ptrdiff_t(edge), fill.end());

    for (int i = 0; i < measured; ++i)
        fullShown.push_back(run.tick(true));
    for (int i = 0; i < 5; ++i) {
        switches.push_back(run.switchTo(kOtherPage));
        switches.push_back(run.switchTo(kMonitorPage));
    }
    run.switchTo(kOtherPage);
    for (int i = 0; i < measured; ++i)
        fullHidden.push_back(run.tick(true));
    for (int i = 0; i < 5; ++i) {
        switches.push_back(run.switchTo(kMonitorPage));
        run.tick(true);
        switches.push_back(run.switchTo(kOtherPage));
        run.tick(true);
    }

    std::printf(
        "%d blocks (%d lines) per tick; %d ticks to fill %d lines, %.1f s\n", framesPerTick,
        int(MonitorBlock::lines(1, QStringLiteral("COM1"), measurementAnswer(1, 0), false).size()) *
            framesPerTick,
        fillTicks, LineMonitor::kMaxLines, double(fillWall.elapsed()) / 1e3);
    print("CPU per tick, monitor off", off);
    print("CPU per tick, monitor filling (first ticks)", fillStart);
    print("CPU per tick, monitor filling (last ticks)", fillEnd);
    print("CPU per tick, monitor full, its page shown", fullShown);
    print("CPU per tick, monitor full, another page", fullHidden);
    print("page change, monitor full (wall)", switches);
    return 0;
}
