// Load benchmark: the real kx7r-station --headless on pseudo-terminal lines
// carrying active blocks' 69-byte measurements at the line rate, one live
// client that reads everything and one that reads nothing; then the idle cost
// of ten lines with on-request channels on silent blocks. With
// --modbus-clients N each station's load runs a second time with its Modbus
// TCP server on and N SCADA hosts reading every register ten times a second;
// with --broker each is measured again publishing every answer to a local
// Mosquitto that a QoS 1 subscriber reads. Several station binaries
// (--station, repeated) are measured one after another in the same run and
// shown side by side. During the load a scraper reads GET /metrics of the web
// status service every 237 ms: an interval prime to the receive tick's second,
// so the scrapes fall at every phase of it, inside a tick too.

#include "brokerprocess.h"
#include "linefeeder.h"
#include "metricsscraper.h"
#include "modbuspoller.h"
#include "relayreader.h"
#include "stationprocess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kChannelsPerLine = 3;
constexpr int kPumpIntervalMs = 5;
constexpr int kDrainLimitMs = 20000;
constexpr int kIdleLines = 10;
constexpr int kIdleSettleMs = 3000;
constexpr int kModbusPeriodMs = 100;

struct Options {
    int lines = 10;
    int baud = 115200;
    int seconds = 20;
    int idleSeconds = 20;
    int modbusClients = 16;
    int scrapeMs = 237;
    bool check = false;
    QStringList stations;
    QStringList labels;
    QList<bool> publishing; // per station: with --mqtt-host
    quint16 brokerPort = 0;
    BrokerProcess* broker = nullptr;
};

struct Figures {
    double offeredPerSecond = 0;
    double takenPerSecond = 0;
    qint64 sent = 0;
    qint64 archived = 0;
    qint64 headers = 0;
    qint64 files = 0;
    qint64 relayed = 0;
    qint64 delivered = -1; // to the broker's subscriber; -1: not publishing
    qint64 badRelayed = 0;
    qint64 repeats = 0;
    double cpuPercent = 0;
    double cpuMsPerAnswer = 0;
    double cpuMs = 0;
    double modbusCpuMicrosPerRequest = -1; // beyond the same load without the server
    qint64 rssKiB = 0;
    qint64 peakRssKiB = 0;
    qint64 p50 = -1;
    qint64 p99 = -1;
    qint64 maxDelay = -1;
    double idleCpuPercent = -1;
    int modbusClients = 0; // 0: the Modbus TCP server is off
    qint64 modbusRequests = 0;
    qint64 modbusSweeps = 0;
    qint64 modbusLateSweeps = 0;
    qint64 modbusErrors = 0;
    double modbusP50Ms = -1;
    double modbusP99Ms = -1;
    double modbusMaxMs = -1;
    bool measuredIdle = false;
    QString label;
    qint64 scrapes = 0;
    qint64 scrapeP50Us = -1;
    qint64 scrapeP99Us = -1;
    qint64 scrapeMaxUs = -1;
    qint64 scrapeBytes = 0;
    int scrapeChannels = 0;
    QString error;
};

// Runs the event loop for ms, calling step every few milliseconds; stops early
// when step returns false.
template <typename Step> void runFor(int ms, Step step)
{
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (!step() || timer.elapsed() >= ms)
            loop.quit();
    });
    tick.start(kPumpIntervalMs);
    loop.exec();
}

// The client that never reads: a plain socket with a small receive buffer.
int connectSilentClient(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    const int size = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

qint64 percentile(QList<qint64>& values, double share)
{
    if (values.isEmpty())
        return -1;
    const auto at = qsizetype(share * double(values.size() - 1) + 0.5);
    std::nth_element(values.begin(), values.begin() + at, values.end());
    return values[at];
}

void measureLoad(const Options& options, const QString& binary, bool publishing, Figures& f)
{
    const bool modbus = f.modbusClients > 0;
    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<LineFeeder>> feeders;
    QStringList devices;
    for (int i = 0; i < options.lines; ++i) {
        feeders.push_back(std::make_unique<LineFeeder>(i + 1, quint8(i + 1), kChannelsPerLine,
                                                       options.baud, clock));
        if (!feeders.back()->isValid()) {
            f.error = QStringLiteral("no pseudo-terminal");
            return;
        }
        devices.append(feeders.back()->devicePath());
    }
    StationProcess station(binary, devices, kChannelsPerLine, true, modbus);
    if (publishing)
        station.setExtraArguments({QStringLiteral("--mqtt-host"), QStringLiteral("127.0.0.1"),
                                   QStringLiteral("--mqtt-port"),
                                   QString::number(options.brokerPort),
                                   QStringLiteral("--mqtt-client-id"), QStringLiteral("bench")});
    if (!station.start(&f.error))
        return;
    const qint64 deliveredBefore = publishing ? options.broker->delivered() : 0;
    std::vector<std::unique_ptr<ModbusPoller>> hosts;
    for (int i = 0; i < f.modbusClients; ++i) {
        hosts.push_back(std::make_unique<ModbusPoller>(clock, kModbusPeriodMs));
        if (!hosts.back()->connectTo(station.modbusPort())) {
            f.error = QStringLiteral("the Modbus TCP server did not accept client %1").arg(i + 1);
            return;
        }
    }
    RelayReader reader(clock);
    if (!reader.connectTo(station.livePort())) {
        f.error = QStringLiteral("the live service did not accept the reading client");
        return;
    }
    const int silent = connectSilentClient(station.livePort());
    MetricsScraper scraper(station.httpPort(), qMax(1, options.scrapeMs));
    if (options.scrapeMs > 0)
        scraper.start();
    runFor(300, [] { return true; });

    const double cpuStart = station.cpuMs();
    const qint64 start = clock.elapsed();
    for (auto& host : hosts)
        host->start();
    runFor(options.seconds * 1000, [&] {
        for (auto& feeder : feeders)
            feeder->pump();
        return true;
    });
    const double seconds = double(clock.elapsed() - start) / 1000.0;
    const double cpu = station.cpuMs() - cpuStart;
    QList<qint64> responses;
    for (auto& host : hosts) {
        host->stop();
        responses += host->responseMicros();
        f.modbusSweeps += host->sweeps();
        f.modbusLateSweeps += host->lateSweeps();
        f.modbusErrors += host->errors();
    }
    f.modbusRequests = responses.size();
    f.modbusP50Ms = double(percentile(responses, 0.50)) / 1000.0;
    f.modbusP99Ms = double(percentile(responses, 0.99)) / 1000.0;
    f.modbusMaxMs = responses.isEmpty()
                        ? -1
                        : double(*std::max_element(responses.begin(), responses.end())) / 1000.0;
    scraper.stop();
    QList<qint64> scrapes = scraper.latenciesUs();
    f.scrapes = scrapes.size();
    f.scrapeP50Us = percentile(scrapes, 0.50);
    f.scrapeP99Us = percentile(scrapes, 0.99);
    f.scrapeMaxUs = scrapes.isEmpty() ? -1 : *std::max_element(scrapes.begin(), scrapes.end());
    f.scrapeBytes = scraper.lastBodyBytes();
    f.scrapeChannels = scraper.channelSeries();
    qint64 taken = 0;
    for (auto& feeder : feeders) {
        taken += feeder->takenCharacters();
        feeder->stopOffering();
    }
    f.rssKiB = station.residentKiB();

    const double answersPerLine = options.baud / 10.0 / LineFeeder::kFrameCharacters;
    f.offeredPerSecond = answersPerLine * options.lines;
    f.takenPerSecond = double(taken) / LineFeeder::kFrameCharacters / seconds;
    f.cpuMs = cpu;
    f.cpuPercent = cpu / 10.0 / seconds;
    f.cpuMsPerAnswer = taken > 0 ? cpu / (double(taken) / LineFeeder::kFrameCharacters) : 0;

    // Drain: the lines finish what they began, the station archives and relays it.
    runFor(kDrainLimitMs, [&] {
        qint64 sent = 0;
        bool backlog = false;
        for (auto& feeder : feeders) {
            feeder->pump();
            sent += feeder->completeFrames();
            backlog = backlog || feeder->hasBacklog();
        }
        return backlog || reader.arrivedAt().size() < sent;
    });
    runFor(1500, [] { return true; }); // the last tick's files are closed
    if (publishing)
        runFor(kDrainLimitMs, [&] {
            return options.broker->delivered() - deliveredBefore <
                   qint64(reader.arrivedAt().size());
        });
    f.peakRssKiB = qMax(f.rssKiB, station.peakResidentKiB());
    station.stop();
    if (silent >= 0)
        ::close(silent);

    QList<qint64> delays;
    for (auto& feeder : feeders) {
        f.sent += feeder->completeFrames();
        const auto& sentAt = feeder->sentAt();
        for (auto it = sentAt.begin(); it != sentAt.end(); ++it) {
            const auto arrived = reader.arrivedAt().constFind(it.key());
            if (arrived != reader.arrivedAt().constEnd())
                delays.append(arrived.value() - it.value());
        }
    }
    f.relayed = delays.size();
    if (publishing)
        f.delivered = options.broker->delivered() - deliveredBefore;
    f.badRelayed = reader.badFrames();
    f.repeats = reader.repeats();
    f.archived = station.archivedLines(&f.headers, &f.files);
    f.p50 = percentile(delays, 0.50);
    f.p99 = percentile(delays, 0.99);
    f.maxDelay = delays.isEmpty() ? -1 : *std::max_element(delays.begin(), delays.end());
}

void measureIdle(const Options& options, const QString& binary, Figures& f)
{
    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<LineFeeder>> lines;
    QStringList devices;
    for (int i = 0; i < kIdleLines; ++i) {
        lines.push_back(std::make_unique<LineFeeder>(i + 1, quint8(i + 1), kChannelsPerLine,
                                                     options.baud, clock));
        devices.append(lines.back()->devicePath());
    }
    StationProcess station(binary, devices, kChannelsPerLine, false);
    QString error;
    if (!station.start(&error)) {
        f.error = error;
        return;
    }
    // The blocks are silent: their polls are read and dropped.
    auto discard = [&] {
        for (auto& line : lines)
            line->discardInput();
        return true;
    };
    runFor(kIdleSettleMs, discard);
    const double cpuStart = station.cpuMs();
    const qint64 start = clock.elapsed();
    runFor(options.idleSeconds * 1000, discard);
    const double seconds = double(clock.elapsed() - start) / 1000.0;
    f.idleCpuPercent = (station.cpuMs() - cpuStart) / 10.0 / seconds;
    station.stop();
}

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

void printTable(const Options& options, const QList<Figures>& figures)
{
    QList<std::pair<QString, QStringList>> rows;
    auto row = [&](const QString& name, auto cell) {
        QStringList cells;
        for (const Figures& f : figures)
            cells.append(f.error.isEmpty() ? cell(f) : QStringLiteral("failed"));
        rows.append({name, cells});
    };
    row(QStringLiteral("answers offered /s"),
        [](const Figures& f) -> QString { return number(f.offeredPerSecond, 1); });
    row(QStringLiteral("answers taken /s"),
        [](const Figures& f) -> QString { return number(f.takenPerSecond, 1); });
    row(QStringLiteral("taken, % of line rate"), [](const Figures& f) -> QString {
        return number(100.0 * f.takenPerSecond / f.offeredPerSecond, 1);
    });
    row(QStringLiteral("answers sent"),
        [](const Figures& f) -> QString { return QString::number(f.sent); });
    row(QStringLiteral("archived lines"),
        [](const Figures& f) -> QString { return QString::number(f.archived); });
    row(QStringLiteral("archive files / headers"), [](const Figures& f) -> QString {
        return QString::number(f.files) + u" / " + QString::number(f.headers);
    });
    row(QStringLiteral("relayed to the reader"),
        [](const Figures& f) -> QString { return QString::number(f.relayed); });
    row(QStringLiteral("published to a subscriber"), [](const Figures& f) -> QString {
        return f.delivered < 0 ? QStringLiteral("-") : QString::number(f.delivered);
    });
    row(QStringLiteral("CPU, % of one core"),
        [](const Figures& f) -> QString { return number(f.cpuPercent, 1); });
    row(QStringLiteral("CPU per answer, ms"),
        [](const Figures& f) -> QString { return number(f.cpuMsPerAnswer, 4); });
    row(QStringLiteral("RSS at end / peak, MiB"), [](const Figures& f) -> QString {
        return number(f.rssKiB / 1024.0, 1) + u" / " + number(f.peakRssKiB / 1024.0, 1);
    });
    row(QStringLiteral("delay p50 / p99, ms"), [](const Figures& f) -> QString {
        return QString::number(f.p50) + u" / " + QString::number(f.p99);
    });
    row(QStringLiteral("delay max, ms"),
        [](const Figures& f) -> QString { return QString::number(f.maxDelay); });
    row(QStringLiteral("answers lost (archive/relay)"), [](const Figures& f) -> QString {
        return QString::number(f.sent - f.archived) + u" / " + QString::number(f.sent - f.relayed);
    });
    if (options.modbusClients > 0) {
        auto modbusRow = [&](const QString& name, auto cell) {
            row(name, [cell](const Figures& f) -> QString {
                if (f.modbusClients == 0)
                    return QStringLiteral("-");
                return cell(f);
            });
        };
        modbusRow(QStringLiteral("Modbus clients"),
                  [](const Figures& f) -> QString { return QString::number(f.modbusClients); });
        modbusRow(QStringLiteral("Modbus requests"),
                  [](const Figures& f) -> QString { return QString::number(f.modbusRequests); });
        modbusRow(QStringLiteral("Modbus sweeps / late"), [](const Figures& f) -> QString {
            return QString::number(f.modbusSweeps) + u" / " + QString::number(f.modbusLateSweeps);
        });
        modbusRow(QStringLiteral("Modbus p50 / p99, ms"), [](const Figures& f) -> QString {
            return number(f.modbusP50Ms, 2) + u" / " + number(f.modbusP99Ms, 2);
        });
        modbusRow(QStringLiteral("Modbus max, ms"),
                  [](const Figures& f) -> QString { return number(f.modbusMaxMs, 2); });
        modbusRow(QStringLiteral("Modbus CPU per request, us"), [](const Figures& f) -> QString {
            return number(f.modbusCpuMicrosPerRequest, 1);
        });
        modbusRow(QStringLiteral("Modbus errors"),
                  [](const Figures& f) -> QString { return QString::number(f.modbusErrors); });
    }
    if (options.scrapeMs > 0) {
        row(QStringLiteral("scrapes of /metrics"), [](const Figures& f) -> QString {
            return QString::number(f.scrapes) + u" (" + QString::number(f.scrapeChannels) +
                   u" ch.)";
        });
        row(QStringLiteral("scrape p50 / p99, ms"), [](const Figures& f) -> QString {
            if (f.scrapes == 0)
                return QStringLiteral("-");
            return number(f.scrapeP50Us / 1000.0, 2) + u" / " + number(f.scrapeP99Us / 1000.0, 2);
        });
        row(QStringLiteral("scrape max, ms"), [](const Figures& f) -> QString {
            return f.scrapes == 0 ? QStringLiteral("-") : number(f.scrapeMaxUs / 1000.0, 2);
        });
        row(QStringLiteral("scrape size, KiB"),
            [](const Figures& f) -> QString { return number(f.scrapeBytes / 1024.0, 1); });
    }
    if (options.idleSeconds > 0)
        row(QStringLiteral("idle CPU, % of one core"), [](const Figures& f) -> QString {
            if (!f.measuredIdle)
                return QStringLiteral("-");
            return number(f.idleCpuPercent, 2);
        });

    std::printf("load: %d lines x %d baud, %d s; idle: %d lines, %d on-request channels, %d s\n",
                options.lines, options.baud, options.seconds, kIdleLines,
                kIdleLines * kChannelsPerLine, options.idleSeconds);
    if (options.modbusClients > 0)
        std::printf("+modbus: the same load with %d Modbus TCP clients, each reading all %d "
                    "registers every %d ms, %d per request\n",
                    options.modbusClients, ModbusPoller::kRegisterCount, kModbusPeriodMs,
                    ModbusPoller::kPerRequest);
    std::printf("%-26s", "");
    for (const Figures& f : figures)
        std::printf(" %18s", qPrintable(f.label));
    std::printf("\n");
    for (const auto& [name, cells] : rows) {
        std::printf("%-26s", qPrintable(name));
        for (const QString& cell : cells)
            std::printf(" %18s", qPrintable(cell));
        std::printf("\n");
    }
    for (const Figures& f : figures)
        if (!f.error.isEmpty())
            std::printf("%s: %s\n", qPrintable(f.label), qPrintable(f.error));
    std::fflush(stdout);
}

Options parse(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption lines(QStringLiteral("lines"), QStringLiteral("Lines 1..10."),
                                   QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption baud(QStringLiteral("baud"), QStringLiteral("Line rate."),
                                  QStringLiteral("B"), QStringLiteral("115200"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Load time."),
                                     QStringLiteral("S"), QStringLiteral("20"));
    const QCommandLineOption idle(QStringLiteral("idle-seconds"),
                                  QStringLiteral("Idle measurement time; 0 skips it."),
                                  QStringLiteral("S"), QStringLiteral("20"));
    const QCommandLineOption station(
        QStringLiteral("station"),
        QStringLiteral("Station binary, LABEL=PATH or PATH; repeat to compare."),
        QStringLiteral("PATH"));
    const QCommandLineOption broker(
        QStringLiteral("broker"),
        QStringLiteral("Measure each station again publishing to a local Mosquitto."));
    const QCommandLineOption check(
        QStringLiteral("check"),
        QStringLiteral("Fail unless every answer sent was archived and relayed."));
    const QCommandLineOption modbus(
        QStringLiteral("modbus-clients"),
        QStringLiteral("Modbus TCP clients of the second load pass; 0 skips it."),
        QStringLiteral("N"), QStringLiteral("16"));
    const QCommandLineOption scrape(
        QStringLiteral("scrape-ms"),
        QStringLiteral("Interval of GET /metrics during the load; 0: none."), QStringLiteral("MS"),
        QStringLiteral("237"));
    parser.addOptions({lines, baud, seconds, idle, modbus, station, broker, check, scrape});
    parser.process(app);
    Options o;
    o.lines = qBound(1, parser.value(lines).toInt(), 10);
    o.baud = qMax(300, parser.value(baud).toInt());
    o.seconds = qMax(1, parser.value(seconds).toInt());
    o.idleSeconds = qMax(0, parser.value(idle).toInt());
    o.modbusClients = qBound(0, parser.value(modbus).toInt(), 32);
    o.check = parser.isSet(check);
    o.scrapeMs = qMax(0, parser.value(scrape).toInt());
    QStringList stations = parser.values(station);
    if (stations.isEmpty())
        stations.append(
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("kx7r-station")));
    for (const QString& s : stations) {
        const qsizetype eq = s.indexOf(u'=');
        const QString label = eq > 0 ? s.left(eq) : QStringLiteral("station");
        for (bool publishing : {false, true}) {
            if (publishing && !parser.isSet(broker))
                break;
            o.labels.append(publishing ? label + QStringLiteral("+mqtt") : label);
            o.stations.append(eq > 0 ? s.mid(eq + 1) : s);
            o.publishing.append(publishing);
        }
    }
    return o;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Options options = parse(app);
    BrokerProcess broker;
    if (options.publishing.contains(true)) {
        QString error;
        if (!broker.start(&error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        options.brokerPort = broker.port();
        options.broker = &broker;
    }
    QList<Figures> figures;
    for (qsizetype i = 0; i < options.stations.size(); ++i) {
        Figures f;
        f.label = options.labels[i];
        measureLoad(options, options.stations[i], options.publishing[i], f);
        if (f.error.isEmpty() && options.idleSeconds > 0) {
            measureIdle(options, options.stations[i], f);
            f.measuredIdle = true;
        }
        figures.append(f);
        if (options.modbusClients > 0) {
            Figures m;
            m.label = options.labels[i] + u"+modbus";
            m.modbusClients = options.modbusClients;
            measureLoad(options, options.stations[i], options.publishing[i], m);
            if (m.error.isEmpty() && f.error.isEmpty() && m.modbusRequests > 0)
                m.modbusCpuMicrosPerRequest =
                    (m.cpuMs - f.cpuMs) * 1000.0 / double(m.modbusRequests);
            figures.append(m);
        }
    }
    printTable(options, figures);
    if (!options.check)
        return 0;
    for (const Figures& f : figures) {
        if (!f.error.isEmpty() || f.sent == 0 || f.archived != f.sent || f.relayed != f.sent ||
            f.badRelayed != 0 || f.repeats != 0 || (f.delivered >= 0 && f.delivered != f.sent) ||
            (f.modbusClients > 0 && (f.modbusRequests == 0 || f.modbusErrors != 0))) {
            std::fprintf(stderr,
                         "%s: answers lost or Modbus failed: sent %lld, archived %lld, relayed "
                         "%lld, Modbus replies %lld, errors %lld\n",
                         qPrintable(f.label), static_cast<long long>(f.sent),
                         static_cast<long long>(f.archived), static_cast<long long>(f.relayed),
                         static_cast<long long>(f.modbusRequests),
                         static_cast<long long>(f.modbusErrors));
            return 1;
        }
    }
    return 0;
}
