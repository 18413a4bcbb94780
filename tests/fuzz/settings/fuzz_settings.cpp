// The stored settings read at start-up, every value any text. Input: the
// values of the store one after another, separated by zero bytes, written
// as they stand into the settings file the station then reads.
#include "../fuzzapplication.h"

#include "model/clock.h"
#include "model/settingsstore.h"
#include "model/stationlimits.h"
#include "shell/station.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Every value start-up reads, as keys of the settings file's one section.
QList<QByteArray> valueKeys()
{
    QList<QByteArray> keys{"TCP_IP_Port", "HistoryFolder"};
    for (int row = 1; row <= kChannelCount; ++row)
        for (const char* value :
             {"ChannelName", "Terminal", "Regime", "AddresBO", "ChannelBONumber", "Timeout"})
            keys.append("MEASURING_CHANNELS\\CHANNEL" +
                        QByteArray::number(row).rightJustified(2, '0') + '\\' + value);
    for (int t = 1; t <= kTerminalCount; ++t)
        for (const char* value : {"COMName", "BaudRate", "DataBits", "StopBits", "Parity"})
            keys.append("RS\\TERMINAL" + QByteArray::number(t) + '\\' + value);
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    startFuzzApplication(false);
    static const QList<QByteArray> keys = valueKeys();
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("station.ini"));
    qInstallMessageHandler(quiet);

    const QList<QByteArray> values =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)).split('\0');
    QByteArray text = "[KX7R_QUERRY]\n";
    for (qsizetype i = 0; i < values.size() && i < keys.size(); ++i)
        text += keys[i] + '=' + values[i] + '\n';
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        std::abort();
    file.close();

    // One station for every input: its store is made again in place over the new file.
    static std::optional<SettingsStore> store(std::in_place, path);
    static SystemClock clock;
    static Station station(*store, clock, 0);
    store.emplace(path);
    station.readStoredSettings();
    return 0;
}
