#include "headlesshint.h"
#include "signalwatcher.h"

#include "kx7rversion.h"

#include "broker/brokersettings.h"
#include "modbus/modbussettings.h"
#include "model/clock.h"
#include "model/logcategories.h"
#include "model/settingsstore.h"
#include "model/stationtexts.h"
#include "shell/descriptorlimit.h"
#include "shell/station.h"
#include "window/qttranslations.h"
#include "window/tformmain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <memory>
#include <span>
#include <utility>

namespace {

struct Options {
    bool headless = false;
    QString configFile;
    quint16 historyPort = Station::kHistoryPort;
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
    {u"mqtt-tls-ca", u"TLS", u"CA certificate file: connect to the broker over TLS."},
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
    const QCommandLineOption historyPort(QStringLiteral("history-port"),
                                         QStringLiteral("Port of the history service (5001)."),
                                         QStringLiteral("N"));
    parser.addOptions({headless, config, historyPort});
    for (const auto options : {std::span<const BrokerOption>(kBrokerOptions),
                               std::span<const BrokerOption>(kModbusOptions)})
        for (const BrokerOption& option : options)
            parser.addOption(QCommandLineOption(QString::fromUtf16(option.option),
                                                QString::fromUtf16(option.help),
                                                QStringLiteral("TEXT")));
    parser.process(arguments);

    Options options;
    options.headless = parser.isSet(headless);
    options.configFile = parser.value(config);
    if (parser.isSet(historyPort)) {
        bool ok = false;
        const uint port = parser.value(historyPort).toUInt(&ok);
        if (!ok || port > 65535) {
            qCritical("--history-port needs a port number");
            ::exit(2);
        }
        options.historyPort = quint16(port);
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

int runStation(QCoreApplication& app, const Options& options)
{
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
    SystemClock clock;
    Station station(settings, clock, options.historyPort);
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
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const bool headless = arguments.contains(QStringLiteral("--headless"));
    // Help and version only print: they must work without a display too.
    const bool printOnly = std::any_of(arguments.cbegin(), arguments.cend(), [](const QString& a) {
        return a == u"-h" || a == u"--help" || a == u"--help-all" || a == u"-v" ||
               a == u"--version";
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
