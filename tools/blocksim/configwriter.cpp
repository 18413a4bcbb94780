#include "configwriter.h"

#include "model/settingsschema.h"
#include "model/settingsstore.h"
#include "model/stationtexts.h"

namespace {
constexpr int kRequestTimeout = 3;
const QString kParityNone = QStringLiteral("Нет");
} // namespace

int ConfigWriter::timeoutFor(const Scenario::Block& block, const Scenario::Channel& channel)
{
    if (channel.timeoutSeconds > 0)
        return channel.timeoutSeconds;
    return block.activeSeconds > 0 ? block.activeSeconds * 2 + 2 : kRequestTimeout;
}

void ConfigWriter::write(SettingsStore& store, const Scenario& scenario,
                         const QList<LinePath>& paths, const Root& root)
{
    store.beginBatch();
    store.writeSetting(SettingsStore::rootKey(), SettingsSchema::tcpPort, root.livePort);
    store.writeSetting(SettingsStore::rootKey(), SettingsSchema::historyFolder, root.archiveFolder);
    for (int n = 1; n <= 10; ++n) {
        QString comName = Texts::portUndefined;
        for (const LinePath& p : paths) {
            if (p.number != n)
                continue;
            comName = QStringLiteral("COM%1").arg(n);
            store.writeSetting(SettingsStore::portsKey(), comName, p.path);
        }
        const QString key = SettingsStore::terminalKey(n);
        store.writeSetting(key, SettingsSchema::comName, comName);
        store.writeSetting(key, SettingsSchema::baudRate, QStringLiteral("9600"));
        store.writeSetting(key, SettingsSchema::dataBits, QStringLiteral("8"));
        store.writeSetting(key, SettingsSchema::stopBits, QStringLiteral("1"));
        store.writeSetting(key, SettingsSchema::parity, kParityNone);
    }
    int row = 1;
    auto writeRow = [&](const QString& name, const QString& terminal, const QString& mode,
                        int address, int channel, int timeout) {
        const QString key = SettingsStore::channelKey(row++);
        store.writeSetting(key, SettingsSchema::channelName, name);
        store.writeSetting(key, SettingsSchema::channelTerminal, terminal);
        store.writeSetting(key, SettingsSchema::channelMode, mode);
        store.writeSetting(key, SettingsSchema::channelAddress, QString::number(address));
        store.writeSetting(key, SettingsSchema::channelNumber, QString::number(channel));
        store.writeSetting(key, SettingsSchema::channelTimeout, QString::number(timeout));
    };
    for (const Scenario::Line& line : scenario.lines)
        for (const Scenario::Block& block : line.blocks)
            for (const Scenario::Channel& channel : block.channels)
                if (row <= 30)
                    writeRow(channel.name, Texts::terminalPrefix + QString::number(line.number),
                             block.activeSeconds > 0 ? Texts::modeActive : Texts::modeOnRequest,
                             block.address, channel.number, timeoutFor(block, channel));
    while (row <= 30)
        writeRow(QString(), Texts::notConnected, Texts::modeOnRequest, 0, 0, kRequestTimeout);
    store.endBatch();
}
