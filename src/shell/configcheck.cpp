#include "configcheck.h"

#include "historyport.h"

#include "broker/brokersettings.h"
#include "modbus/modbussettings.h"
#include "model/integertext.h"
#include "model/portnamemap.h"
#include "model/settingsschema.h"
#include "model/settingsstore.h"
#include "model/stationlimits.h"
#include "model/stationtexts.h"
#include "model/terminalname.h"
#include "net/listenaddress.h"
#include "web/httpsettings.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringConverter>

using namespace Qt::StringLiterals;

namespace {

const QStringList kBaudRates = {u"1200"_s,  u"2400"_s,  u"4800"_s,  u"9600"_s,
                                u"19200"_s, u"38400"_s, u"57600"_s, u"115200"_s};
const QStringList kDataBits = {u"5"_s, u"6"_s, u"7"_s, u"8"_s};
const QStringList kStopBits = {u"1"_s, u"1.5"_s, u"2"_s};
const QStringList kParities = {u"Чет"_s, u"Нечет"_s, u"Нет"_s, u"Маркер"_s, u"Пробел"_s};

QString quoted(const QString& text)
{
    return u'"' + text + u'"';
}

// A COMn name with n in 1..255, else 0.
int comNumber(const QString& comName)
{
    if (!comName.startsWith(u"COM"))
        return 0;
    const auto n = parseInteger(comName.mid(3));
    return n && *n >= 1 && *n <= 255 && QString::number(*n) == comName.mid(3) ? *n : 0;
}

} // namespace

Outcome ConfigCheck::readable(const QString& file)
{
    QFile in(file);
    if (!in.exists())
        return Outcome::failure(QStringLiteral("%1 does not exist").arg(file));
    if (!in.open(QIODevice::ReadOnly))
        return Outcome::failure(
            QStringLiteral("%1 cannot be read: %2").arg(file, in.errorString()));
    const QByteArray bytes = in.readAll();
    auto decode = QStringDecoder(QStringDecoder::Utf8);
    const QString text = decode(bytes);
    if (decode.hasError())
        return Outcome::failure(
            QStringLiteral("%1 is not UTF-8 text (save it as UTF-8, not in code page 1251)")
                .arg(file));
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#') ||
            (line.startsWith(u'[') && line.endsWith(u']')) || line.contains(u'='))
            continue;
        return Outcome::failure(
            QStringLiteral("%1 line %2 is neither [group], name=value nor a comment: %3")
                .arg(file)
                .arg(i + 1)
                .arg(quoted(line.left(60))));
    }
    QSettings settings(file, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return Outcome::failure(QStringLiteral("%1 is not an INI file").arg(file));
    return Outcome::success();
}

ConfigCheck::ConfigCheck(const SettingsStore& settings, std::optional<quint16> historyPortOverride,
                         const QString& liveAddressOverride, const QString& historyAddressOverride)
    : m_settings(settings), m_historyPortOverride(historyPortOverride),
      m_liveAddressOverride(liveAddressOverride), m_historyAddressOverride(historyAddressOverride)
{
    checkRoot();
    checkChannels();
    checkTerminals();
    checkBroker();
    checkModbus();
    checkHttp();
}

int ConfigCheck::errorCount() const
{
    return int(std::count_if(m_findings.cbegin(), m_findings.cend(),
                             [](const Finding& finding) { return finding.error; }));
}

QString ConfigCheck::read(const QString& key, const QString& value) const
{
    return m_settings.readSetting(key, value);
}

void ConfigCheck::add(bool error, const QString& key, const QString& value, const QString& reason)
{
    m_findings.append({error, key + value, reason});
}

void ConfigCheck::checkRoot()
{
    const QString root = SettingsStore::rootKey();
    const QString port = read(root, SettingsSchema::tcpPort);
    const auto number = parseInteger(port);
    if (port.isEmpty())
        add(true, root, SettingsSchema::tcpPort, u"no port: the live service would use 5000"_s);
    else if (!number || *number < 1 || *number > 65535)
        add(true, root, SettingsSchema::tcpPort,
            quoted(port) + u" is not a port 1..65535: the live service would use 5000"_s);
    if (!HistoryPort::stored(m_settings))
        add(true, root, SettingsSchema::historyPort,
            quoted(HistoryPort::storedText(m_settings)) +
                (m_historyPortOverride
                     ? u" is not a port 1..65535 (--history-port is used)"_s
                     : u" is not a port 1..65535: the history service would use 5001"_s));
    checkAddress(SettingsSchema::listenAddress, m_liveAddressOverride);
    checkAddress(SettingsSchema::historyListenAddress, m_historyAddressOverride);
    const QString forward = read(root, SettingsSchema::forwardRequests).trimmed();
    if (!forward.isEmpty() && forward != u"0" && forward != u"1")
        add(true, root, SettingsSchema::forwardRequests,
            quoted(forward) + u" is neither 0 nor 1: forwarded requests would be off"_s);
    const QString folder = read(root, SettingsSchema::historyFolder);
    if (folder.isEmpty())
        add(true, root, SettingsSchema::historyFolder,
            u"no archive folder: measurements would be archived below the working folder"_s);
    else if (QFileInfo(folder).isRelative())
        add(false, root, SettingsSchema::historyFolder,
            quoted(folder) + u" is relative: it depends on the working folder"_s);
    const QString last = read(root, SettingsSchema::lastMeasure);
    if (!last.isEmpty() && (last.size() != 14 || !parseInteger(last)))
        add(false, root, SettingsSchema::lastMeasure,
            quoted(last) + u" is not 14 digits DDMMYYYYhhmmss: history clients get it as is"_s);
}

void ConfigCheck::checkAddress(const QString& valueName, const QString& override)
{
    const QString text = override.isNull() ? read(SettingsStore::rootKey(), valueName) : override;
    if (!ListenAddress::parse(text))
        add(true, SettingsStore::rootKey(), valueName,
            ListenAddress::rejection(text) + u": the service would listen on 127.0.0.1 only"_s);
}

void ConfigCheck::checkChannels()
{
    for (int row = 1; row <= kChannelCount; ++row) {
        const QString key = SettingsStore::channelKey(row);
        const QString terminal = read(key, SettingsSchema::channelTerminal);
        const QString mode = read(key, SettingsSchema::channelMode);
        const bool connected = terminalIndex(terminal) >= 0;
        if (!terminal.isEmpty() && !connected && terminal != Texts::notConnected)
            add(true, key, SettingsSchema::channelTerminal,
                quoted(terminal) + u" names no terminal (Терминал1..Терминал10 or " +
                    Texts::notConnected + u"): the row is not polled");
        if (!mode.isEmpty() && mode != Texts::modeOnRequest && mode != Texts::modeActive)
            add(true, key, SettingsSchema::channelMode,
                quoted(mode) + u" is neither " + Texts::modeOnRequest + u" nor " +
                    Texts::modeActive + u": the row is neither polled nor watched");
        else if (connected && mode.isEmpty())
            add(true, key, SettingsSchema::channelMode,
                u"no mode: the row is neither polled nor watched"_s);
        for (const QString& value : {SettingsSchema::channelAddress, SettingsSchema::channelNumber,
                                     SettingsSchema::channelTimeout}) {
            const QString text = read(key, value);
            const auto number = parseInteger(text);
            if (!text.isEmpty() && !number)
                add(true, key, value, quoted(text) + u" is not a number: it would count as 0"_s);
            else if (connected && text.isEmpty())
                add(false, key, value, u"missing: it counts as 0"_s);
            else if (number && value != SettingsSchema::channelTimeout &&
                     (*number < 0 || *number > 255))
                add(false, key, value,
                    quoted(text) + u" is outside 0..255: only its low 8 bits count (" +
                        QString::number(quint8(*number)) + u')');
            else if (number && connected && value == SettingsSchema::channelTimeout && *number <= 0)
                add(false, key, value, quoted(text) + u" seconds: every poll times out at once"_s);
        }
    }
}

void ConfigCheck::checkTerminals()
{
    for (int t = 1; t <= kTerminalCount; ++t) {
        const QString key = SettingsStore::terminalKey(t);
        const QString com = read(key, SettingsSchema::comName);
        if (com.isEmpty() || com == Texts::portUndefined)
            continue;
        if (!comNumber(com)) {
            add(true, key, SettingsSchema::comName,
                quoted(com) + u" is neither COM1..COM255 nor " + Texts::portUndefined +
                    u": the terminal cannot be opened");
            continue;
        }
#ifndef Q_OS_WIN
        const QString device = deviceForComName(com, m_settings);
        if (!QFileInfo::exists(device))
            add(false, SettingsStore::portsKey(), com,
                quoted(device) + u" does not exist now: the terminal stays " + Texts::portBusy +
                    u" until it does");
#endif
        const QString baud = read(key, SettingsSchema::baudRate);
        if (!kBaudRates.contains(baud))
            add(true, key, SettingsSchema::baudRate,
                quoted(baud) + u" is not one of " + kBaudRates.join(u", ") +
                    (parseInteger(baud) && *parseInteger(baud) > 0
                         ? u""_s
                         : u": the line would run at 9600"_s));
        const std::pair<QString, const QStringList*> lists[] = {
            {SettingsSchema::dataBits, &kDataBits},
            {SettingsSchema::stopBits, &kStopBits},
            {SettingsSchema::parity, &kParities}};
        for (const auto& [value, allowed] : lists) {
            const QString text = read(key, value);
            if (!text.isEmpty() && !allowed->contains(text))
                add(false, key, value,
                    quoted(text) + u" is not one of " + allowed->join(u", ") +
                        u" (the line runs 8 data bits, no parity, 1 stop bit)");
        }
    }
}

void ConfigCheck::checkBroker()
{
    const BrokerSettings broker = BrokerSettings::read(m_settings);
    if (broker.host.isEmpty())
        return;
    if (!broker.portNumber())
        add(true, BrokerSettings::key(), u"Port"_s,
            quoted(broker.port) + u" is not a port 1..65535"_s);
    else if (const QString error = broker.invalidity(); !error.isEmpty())
        add(true, BrokerSettings::key(), QString(), error + u": nothing is published"_s);
    if (const QString error = broker.tlsProblem(); !error.isEmpty())
        add(true, BrokerSettings::key(), u"TLS"_s, error + u": no connection to the broker"_s);
    QString passwordError;
    broker.effectivePassword(&passwordError);
    if (!passwordError.isEmpty())
        add(true, BrokerSettings::key(), u"PasswordFile"_s,
            passwordError + u": no connection to the broker"_s);
}

void ConfigCheck::checkModbus()
{
    const ModbusSettings modbus = ModbusSettings::read(m_settings);
    if (const QString error = modbus.invalidity(); !error.isEmpty())
        add(true, ModbusSettings::key(), QString(),
            error + u": the Modbus TCP server would stay off"_s);
}

QString ConfigCheck::modbusText() const
{
    const ModbusSettings modbus = ModbusSettings::read(m_settings);
    if (!modbus.enabled() || !modbus.invalidity().isEmpty())
        return u"off"_s;
    return ListenAddress::endpoint(*modbus.hostAddress(), *modbus.portNumber()) +
           QStringLiteral(", unit %1, word order %2")
               .arg(*modbus.unitIdNumber())
               .arg(*modbus.wordOrderValue() == ModbusSettings::WordOrder::ABCD ? u"ABCD"_s
                                                                                : u"CDAB"_s);
}

// The station leaves the web status service off on a value it cannot use.
void ConfigCheck::checkHttp()
{
    const HttpSettings http = HttpSettings::read(m_settings);
    if (!http.hostAddress())
        add(true, HttpSettings::key(), HttpSettings::addressName(),
            http.invalidity() + u": the web status service stays off"_s);
    else if (http.enabled() && !http.portNumber())
        add(true, HttpSettings::key(), HttpSettings::portName(),
            http.invalidity() + u": the web status service stays off"_s);
}

QString ConfigCheck::servicesText() const
{
    const QString root = SettingsStore::rootKey();
    const auto endpoint = [&](const QString& valueName, const QString& override, quint16 port) {
        const QString text = override.isNull() ? read(root, valueName) : override;
        const QHostAddress address =
            ListenAddress::parse(text).value_or(QHostAddress(QHostAddress::LocalHost));
        return ListenAddress::endpoint(address, port);
    };
    const auto livePort = parseInteger(read(root, SettingsSchema::tcpPort));
    const quint16 port =
        livePort && *livePort >= 0 && *livePort <= 65535 ? quint16(*livePort) : quint16(5000);
    const QString forward = read(root, SettingsSchema::forwardRequests).trimmed();
    const bool forwarding = forward.isEmpty() || forward == u"1";
    return u"Live service:    "_s +
           endpoint(SettingsSchema::listenAddress, m_liveAddressOverride, port) +
           (forwarding ? u", forwarded requests on\n"_s : u", forwarded requests off\n"_s) +
           u"History service: "_s +
           endpoint(SettingsSchema::historyListenAddress, m_historyAddressOverride,
                    HistoryPort::effective(m_settings, m_historyPortOverride)) +
           u"\nModbus TCP:      "_s + modbusText() + u"\nWeb status:      "_s + httpText() +
           u"\nArchive folder:  "_s + read(root, SettingsSchema::historyFolder) + u'\n';
}

QString ConfigCheck::httpText() const
{
    const HttpSettings http = HttpSettings::read(m_settings);
    if (!http.enabled())
        return u"off"_s;
    if (!http.hostAddress() || !http.portNumber())
        return u"off (refused value)"_s;
    return ListenAddress::endpoint(*http.hostAddress(), *http.portNumber());
}

QString ConfigCheck::pollListText() const
{
    QString out = u"Poll list (rows with a terminal):\n"_s;
    int shown = 0;
    for (int row = 1; row <= kChannelCount; ++row) {
        const QString key = SettingsStore::channelKey(row);
        const QString terminal = read(key, SettingsSchema::channelTerminal);
        if (terminalIndex(terminal) < 0)
            continue;
        const auto number = [&](const QString& value) {
            return QString::number(parseInteger(read(key, value)).value_or(0));
        };
        out += QStringLiteral("  row %1  %2  %3  %4  block %5  channel %6  timeout %7 s\n")
                   .arg(row, 2)
                   .arg(quoted(read(key, SettingsSchema::channelName)), terminal,
                        read(key, SettingsSchema::channelMode))
                   .arg(quint8(parseInteger(read(key, SettingsSchema::channelAddress)).value_or(0)))
                   .arg(quint8(parseInteger(read(key, SettingsSchema::channelNumber)).value_or(0)))
                   .arg(number(SettingsSchema::channelTimeout));
        ++shown;
    }
    if (shown == 0)
        out += u"  none: nothing is polled or watched\n"_s;
    return out;
}

QString ConfigCheck::terminalsText() const
{
    QString out = u"Terminals (opened ones):\n"_s;
    int shown = 0;
    for (int t = 1; t <= kTerminalCount; ++t) {
        const QString key = SettingsStore::terminalKey(t);
        const QString com = read(key, SettingsSchema::comName);
        if (!comNumber(com))
            continue;
        out += QStringLiteral("  %1  %2 -> %3  %4 baud\n")
                   .arg(terminalText(t - 1), com, deviceForComName(com, m_settings),
                        read(key, SettingsSchema::baudRate));
        ++shown;
    }
    if (shown == 0)
        out += u"  none\n"_s;
    return out;
}

QString ConfigCheck::report() const
{
    QString out;
    for (const Finding& finding : m_findings)
        out += (finding.error ? u"error: "_s : u"warning: "_s) + finding.value + u": " +
               finding.reason + u'\n';
    out += servicesText() + pollListText() + terminalsText();
    const int errors = errorCount();
    out +=
        QStringLiteral("%1 error(s), %2 warning(s)\n").arg(errors).arg(m_findings.size() - errors);
    return out;
}
