#include "headlesshint.h"
#include "journallog.h"
#include "signalwatcher.h"

#include "kx7rversion.h"

#include "broker/brokersettings.h"
#include "modbus/modbussettings.h"
#include "model/clock.h"
#include "model/logcategories.h"
#include "model/settingsschema.h"
#include "model/settingsstore.h"
#include "model/stationtexts.h"
#include "net/listenaddress.h"
#include "shell/configcheck.h"
#include "shell/descriptorlimit.h"
#include "shell/historyport.h"
#include "shell/settingsseed.h"
#include "shell/station.h"
#include "window/qttranslations.h"
#include "window/tformmain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

struct Options {
    bool headless = false;
    bool checkConfig = false;
    QString configFile;
    QString configSeed;
    std::optional<quint16> historyPort;        // nullopt: the stored one
    QString liveAddress;                       // null: the stored one
    QString historyAddress;                    // null: the stored one
    QString httpAddress;                       // null: the stored one
    QString httpPort;                          // null: the stored one; empty: off
    QList<std::pair<QString, QString>> broker; // KX7R_QUERRY\MQTT value name -> text given
    QList<std::pair<QString, QString>> modbus; // KX7R_QUERRY\MODBUS value name -> text given
};

// --mqtt-<name> for each KX7R_QUERRY\MQTT value, stored as the page's Apply would.
struct BrokerOption {
    const char16_t* option;
    const char16_t* valueName;
    const char16_t* help;
};
constexpr BrokerOption kBrokerOptions[] = {
    {u"mqtt-host", u"Host", u"MQTT broker to publish every answer to (empty: off)."},
    {u"mqtt-port", u"Port", u"Port of the MQTT broker (1883)."},
    {u"mqtt-client-id", u"ClientId", u"MQTT client id (kx7r-<host name>)."},
    {u"mqtt-topic-prefix", u"TopicPrefix", u"First part of every MQTT topic (kx7r)."},
    {u"mqtt-username", u"Username", u"User name at the MQTT broker."},
    {u"mqtt-password", u"Password", u"Password at the MQTT broker."},
    {u"mqtt-tls-ca", u"TLS", u"CA certificate file: connect to the broker over TLS only."},
    {u"mqtt-password-file", u"PasswordFile",
     u"File whose first line is the MQTT password (instead of Password)."},
    {u"mqtt-qos", u"QoS", u"QoS of the published answers, 1 or 2 (1)."},
    {u"mqtt-spool-mib", u"SpoolMiB", u"Bound of the MQTT spool in MiB (128)."},
};
// --modbus-<name> for each KX7R_QUERRY\MODBUS value, the same way.
constexpr BrokerOption kModbusOptions[] = {
    {u"modbus-address", u"Address", u"Address the Modbus TCP server listens on (127.0.0.1)."},
    {u"modbus-port", u"Port", u"Port of the Modbus TCP server, e.g. 1502 (empty: off)."},
    {u"modbus-unit-id", u"UnitId", u"Modbus unit id the server answers to (1)."},
    {u"modbus-word-order", u"WordOrder", u"Word order of float32 registers: ABCD or CDAB."},
};

Options parseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Texts::applicationTitle);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(
        QStringLiteral("headless"), QStringLiteral("Run without a window; log to standard error."));
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("Settings file (INI) instead of the user's default."),
        QStringLiteral("FILE"));
    const QCommandLineOption checkConfig(
        QStringLiteral("check-config"),
        QStringLiteral("Check the settings, print what the station would run with and every "
                       "value it would refuse, and exit (1 on an error); opens nothing."));
    const QCommandLineOption configSeed(
        QStringLiteral("config-seed"),
        QStringLiteral("Rebuild the --config file from FILE at start, keeping only its "
                       "LastMeasure (the service's settings stay read-only)."),
        QStringLiteral("FILE"));
    const QCommandLineOption historyPort(QStringLiteral("history-port"),
                                         QStringLiteral("Port of the history service "
                                                        "(HistoryPort; 5001)."),
                                         QStringLiteral("N"));
    const QCommandLineOption listenAddress(
        QStringLiteral("listen-address"),
        QStringLiteral("Address the live service listens on (ListenAddress; * or empty: every "
                       "interface)."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption historyListenAddress(
        QStringLiteral("history-listen-address"),
        QStringLiteral("Address the history service listens on (HistoryListenAddress)."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption httpAddress(
        QStringLiteral("http-address"),
        QStringLiteral("Address the web status service listens on (HTTP Address; 127.0.0.1)."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption httpPort(
        QStringLiteral("http-port"),
        QStringLiteral("Port of the web status service (HTTP Port; 5080; empty: off)."),
        QStringLiteral("N"));
    parser.addOptions({headless, config, checkConfig, configSeed, historyPort, listenAddress,
                       historyListenAddress, httpAddress, httpPort});
    for (const auto options : {std::span<const BrokerOption>(kBrokerOptions),
                               std::span<const BrokerOption>(kModbusOptions)})
        for (const BrokerOption& option : options)
            parser.addOption(QCommandLineOption(QString::fromUtf16(option.option),
                                                QString::fromUtf16(option.help),
                                                QStringLiteral("TEXT")));
    parser.process(arguments);

    Options options;
    options.headless = parser.isSet(headless);
    options.checkConfig = parser.isSet(checkConfig);
    options.configFile = parser.value(config);
    options.configSeed = parser.value(configSeed);
    if (!options.configSeed.isEmpty() && options.configFile.isEmpty()) {
        qCritical("--config-seed needs --config");
        ::exit(2);
    }
    if (parser.isSet(historyPort)) {
        bool ok = false;
        const uint port = parser.value(historyPort).toUInt(&ok);
        if (!ok || port > 65535) {
            qCritical("--history-port needs a port number");
            ::exit(2);
        }
        options.historyPort = quint16(port);
    }
    const auto address = [&parser](const QCommandLineOption& option) {
        if (!parser.isSet(option))
            return QString();
        const QString text = parser.value(option);
        if (!ListenAddress::parse(text)) {
            qCritical().noquote() << u"--" + option.names().constFirst() + u':'
                                  << ListenAddress::rejection(text);
            ::exit(2);
        }
        return text.isNull() ? QStringLiteral("") : text;
    };
    options.liveAddress = address(listenAddress);
    options.historyAddress = address(historyListenAddress);
    options.httpAddress = address(httpAddress);
    if (parser.isSet(httpPort)) {
        options.httpPort = parser.value(httpPort).trimmed();
        bool ok = options.httpPort.isEmpty();
        const uint port = ok ? 0 : options.httpPort.toUInt(&ok);
        if (!ok || port > 65535 || (port == 0 && !options.httpPort.isEmpty())) {
            qCritical("--http-port needs a port number, or nothing to turn the service off");
            ::exit(2);
        }
        if (options.httpPort.isNull())
            options.httpPort = QStringLiteral("");
    }
    for (const BrokerOption& option : kBrokerOptions)
        if (parser.isSet(QString::fromUtf16(option.option)))
            options.broker.append({QString::fromUtf16(option.valueName),
                                   parser.value(QString::fromUtf16(option.option))});
    for (const BrokerOption& option : kModbusOptions)
        if (parser.isSet(QString::fromUtf16(option.option)))
            options.modbus.append({QString::fromUtf16(option.valueName),
                                   parser.value(QString::fromUtf16(option.option))});
    return options;
}

// A settings file the station cannot use ends it before anything starts. A
// file not there yet is created by the first Apply, if its folder exists.
bool settingsUsable(const Options& options)
{
    if (!options.configSeed.isEmpty() && !options.checkConfig) {
        if (const Outcome seeded = SettingsSeed::rebuild(options.configSeed, options.configFile);
            !seeded) {
            qCritical().noquote() << "settings not usable:" << seeded.error();
            return false;
        }
    }
    const QString file = options.checkConfig && !options.configSeed.isEmpty() ? options.configSeed
                                                                              : options.configFile;
    if (file.isEmpty())
        return true;
    const QFileInfo info(file);
    if (!info.exists() && !options.checkConfig) {
        if (info.absoluteDir().exists())
            return true;
        qCritical().noquote() << "settings not usable:" << file
                              << "does not exist, nor does its folder";
        return false;
    }
    if (const Outcome usable = ConfigCheck::readable(file); !usable) {
        qCritical().noquote() << "settings not usable:" << usable.error();
        return false;
    }
    return true;
}

int checkConfig(const Options& options)
{
    const SettingsStore settings(options.configSeed.isEmpty() ? options.configFile
                                                              : options.configSeed);
    const ConfigCheck check(settings, options.historyPort, options.liveAddress,
                            options.historyAddress);
    const QByteArray report =
        (u"Settings: "_s + settings.fileName() + u'\n' + check.report()).toUtf8();
    std::fwrite(report.constData(), 1, size_t(report.size()), stdout);
    return check.errorCount() > 0 ? 1 : 0;
}

int runStation(QCoreApplication& app, const Options& options)
{
    if (!settingsUsable(options))
        return 2;
    if (options.checkConfig)
        return checkConfig(options);
    SettingsStore settings(options.configFile);
    if (!options.broker.isEmpty()) {
        BrokerSettings broker = BrokerSettings::read(settings);
        for (const auto& [valueName, text] : options.broker)
            for (const auto& [name, field] : BrokerSettings::fields())
                if (name == valueName)
                    broker.*field = text;
        if (const Outcome stored = broker.write(settings); !stored) {
            qCritical().noquote() << "--mqtt-*:" << stored.error();
            return 2;
        }
    }
    if (!options.modbus.isEmpty()) {
        ModbusSettings modbus = ModbusSettings::read(settings);
        for (const auto& [valueName, text] : options.modbus)
            for (const auto& [name, field] : ModbusSettings::fields())
                if (name == valueName)
                    modbus.*field = text;
        if (const Outcome stored = modbus.write(settings); !stored) {
            qCritical().noquote() << "--modbus-*:" << stored.error();
            return 2;
        }
    }
    if (!options.historyPort && !HistoryPort::stored(settings))
        qCWarning(lcShell).noquote()
            << "stored value" << SettingsStore::rootKey() + SettingsSchema::historyPort
            << "is not a port:" << (u'"' + HistoryPort::storedText(settings) + u'"')
            << "- the history service uses" << HistoryPort::kDefault;
    SystemClock clock;
    Station station(settings, clock, HistoryPort::effective(settings, options.historyPort));
    station.overrideListenAddresses(options.liveAddress, options.historyAddress);
    station.overrideHttp(options.httpAddress, options.httpPort);
    // The process's descriptors: every live client holds one beside the reserve.
    const long descriptors = DescriptorLimit::raiseToHard();
    station.liveServer().setClientLimit(
        DescriptorLimit::liveClients(descriptors, LiveServer::kDefaultClientLimit));
    qCInfo(lcShell) << "open-file limit" << descriptors << "- live clients at most"
                    << station.liveServer().clientLimit();
    SignalWatcher signals_;

    if (options.headless) {
        QObject::connect(&signals_, &SignalWatcher::terminationRequested, &app,
                         &QCoreApplication::quit);
        QObject::connect(&station, &Station::messageRaised, &station,
                         [](const QString& caption, const QString& text) {
                             qCWarning(lcShell).noquote() << caption + u':' << text;
                         });
        qCInfo(lcShell).noquote() << "settings:" << settings.fileName();
        station.start();
        const int code = app.exec();
        station.shutdown();
        qCInfo(lcShell) << "stopped";
        return code;
    }
    station.start();
    auto window = std::make_unique<TFormMain>(station);
    // A stop from outside skips the close question.
    QObject::connect(&signals_, &SignalWatcher::terminationRequested, window.get(),
                     &TFormMain::stopOnRequest);
    window->show();
    const int code = app.exec();
    window.reset();
    station.shutdown();
    qCInfo(lcShell) << "stopped";
    return code;
}

} // namespace

int main(int argc, char* argv[])
{
    qSetMessagePattern(QStringLiteral("%{time hh:mm:ss.zzz} %{category}: %{message}"));
    JournalLog::install();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const bool headless = arguments.contains(QStringLiteral("--headless"));
    // Help and version only print: they must work without a display too.
    const bool printOnly = std::any_of(arguments.cbegin(), arguments.cend(), [](const QString& a) {
        return a == u"-h" || a == u"--help" || a == u"--help-all" || a == u"-v" ||
               a == u"--version" || a == u"--check-config";
    });

    std::unique_ptr<QCoreApplication> app;
    if (headless || printOnly) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        const HeadlessHint hint;
        app = std::make_unique<QApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("kx7r-station"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KX7R_VERSION));
    // No display name: X11 would append it to every caption.
    if (!headless && !printOnly)
        installQtTranslations(*app);
    return runStation(*app, parseOptions(arguments));
}
