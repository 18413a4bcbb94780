#pragma once

#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "model/terminalname.h"
#include "pseudoterminal.h"
#include "serial/iconblinker.h"
#include "serial/terminalaccess.h"
#include "settingsfixture.h"

#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <array>
#include <memory>

// The serial tests' station: its tables, terminal access and icon over a settings
// file, with pseudo-terminals attached to the terminals a test asks for and every
// other terminal "Не определен".
struct SerialRig {
    SettingsFixture settings;
    std::array<std::unique_ptr<PseudoTerminal>, kTerminalCount> ptys;
    StationState state;
    TerminalAccess access{state, settings.store()};
    QTimer timerBlink;
    IconBlinker blinker{state, timerBlink};

    SerialRig()
    {
        timerBlink.setInterval(200);
        for (int t = 0; t < kTerminalCount; ++t) {
            state.terminals[t].comName = Texts::portUndefined;
            state.terminals[t].baudRate = QStringLiteral("9600");
            access.showOpenResult(t, access.OpenTerminal(t, state.terminals[t].baudRate));
        }
    }

    static QString comName(int t) { return QStringLiteral("COM") + QString::number(t + 1); }

    // A pseudo-terminal behind terminal t, opened as start-up opens it.
    PseudoTerminal& attach(int t)
    {
        ptys[t] = std::make_unique<PseudoTerminal>();
        settings.mapPort(comName(t), ptys[t]->slavePath());
        state.terminals[t].comName = comName(t);
        access.showOpenResult(t, access.OpenTerminal(t, state.terminals[t].baudRate));
        return *ptys[t];
    }
    PseudoTerminal& pty(int t) { return *ptys[t]; }
    // The adapter behind terminal t pulled: its pty closed and its device node
    // gone (the pty's number may already be another test's).
    void pull(int t)
    {
        ptys[t]->close();
        settings.mapPort(comName(t),
                         pulled.filePath(QStringLiteral("ttyUSB") + QString::number(t)));
    }
    QTemporaryDir pulled;
    QSerialPort* port(int t) { return state.terminals[t].port.get(); }

    // Channel k (grid row k + 1) as an applied poll list holds it.
    void setChannel(int k, const QString& terminal, const QString& mode, int address,
                    int channelNumber, int timeout)
    {
        ChannelEntry& channel = state.channels[k];
        channel.name = QStringLiteral("Канал ") + QString::number(k + 1);
        channel.terminal = terminal;
        channel.mode = mode;
        channel.blockAddress = quint8(address);
        channel.channelNumber = quint8(channelNumber);
        channel.timeoutSeconds = timeout;
        const int row = k + 1;
        state.queryList.setText(row, QueryColumn::Name, channel.name);
        state.queryList.setText(row, QueryColumn::Terminal, terminal);
        state.queryList.setText(row, QueryColumn::Mode, mode);
        state.queryList.setText(row, QueryColumn::Address, QString::number(address));
        state.queryList.setText(row, QueryColumn::Channel, QString::number(channelNumber));
        state.queryList.setText(row, QueryColumn::Timeout, QString::number(timeout));
        state.countdownSeconds[k] = timeout;
        state.poll.configured(k, state.channels[k]);
        state.rebuildQueues();
    }

    // Writes bytes on the far end of terminal t and waits until the port holds them.
    bool deliver(int t, const QByteArray& bytes)
    {
        QSerialPort* serial = port(t);
        if (!serial || !ptys[t] || !ptys[t]->write(bytes))
            return false;
        const qint64 expected = serial->bytesAvailable() + bytes.size();
        return QTest::qWaitFor([&] { return serial->bytesAvailable() >= expected; }, 3000);
    }

    QString cellText(int k, int column) const { return state.queryList.text(k + 1, column); }
    CellColour cellColour(int k, int column) const { return state.queryList.colour(k + 1, column); }
    QString terminalStatus(int t) const { return state.rsSettings.text(RsRow::Status, t + 1); }
    CellColour terminalColour(int t) const { return state.rsSettings.colour(RsRow::Status, t + 1); }
};
