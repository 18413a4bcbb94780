// The receive path from a line's bytes to the archive: bytes cut into receive
// ticks on several terminals go through the framing, DecodeFrame, the dispatch,
// both decoders, the AnswerRecord, the measurement record and the archive line,
// against a poll list with on-request and active channels on four terminals.
//
// Input: a sequence of segments. A byte below 0xF0 starts a segment for terminal
// (byte % 10), followed by a length byte and that many line bytes (fewer at the
// end). 0xF0..0xFE end a receive tick and move the clock on; 0xFF switches the
// line monitor on or off.
#include "../fuzzapplication.h"

#include "answers/answerconsumerlist.h"
#include "answers/answerdecoder.h"
#include "answers/liveserver.h"
#include "archive/archivewriter.h"
#include "archive/measurementstore.h"
#include "model/clock.h"
#include "model/settingsstore.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "model/terminalname.h"
#include "serial/iconblinker.h"
#include "serial/linemonitor.h"
#include "serial/pollscheduler.h"
#include "serial/receiver.h"
#include "serial/terminalaccess.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdint>

namespace {

class SteppedClock : public Clock {
public:
    QDateTime now() const override { return m_time; }
    void reset() { m_time = QDateTime(QDate(2024, 6, 15), QTime(23, 59, 0)); }
    void step(int seconds) { m_time = m_time.addSecs(seconds); }

private:
    QDateTime m_time;
};

struct ReceivePath {
    QTemporaryDir dir;
    QString archive = dir.filePath(QStringLiteral("archive"));
    SettingsStore settings{dir.filePath(QStringLiteral("station.ini"))};
    StationState state;
    SteppedClock clock;
    QTimer timerBlink;
    IconBlinker blinker{state, timerBlink};
    TerminalAccess access{state, settings};
    PollScheduler scheduler{state, access, blinker};
    LineMonitor monitor;
    ArchiveWriter writer{settings};
    MeasurementStore store{settings, writer};
    LiveServer relay{state, scheduler};
    AnswerConsumerList consumers;
    AnswerDecoder decoder{state, clock, consumers};
    Receiver receiver{state, access, blinker, monitor, decoder};
    int runs = 0;

    ReceivePath()
    {
        consumers.add(store);
        consumers.add(relay);
        settings.writeSetting(SettingsStore::rootKey(), QStringLiteral("HistoryFolder"), archive);
        for (TerminalPort& terminal : state.terminals)
            terminal.comName = Texts::portUndefined;
    }

    // Thirty channels: terminals 1..4, blocks 1..4, channels 0..7, both modes.
    void setPollList()
    {
        for (int k = 0; k < kChannelCount; ++k) {
            ChannelEntry& channel = state.channels[size_t(k)];
            channel.name = QStringLiteral("Канал ") + QString::number(k + 1);
            channel.terminal = k == 29 ? Texts::notConnected : terminalText(k % 4);
            channel.mode = k % 3 == 0 ? Texts::modeActive : Texts::modeOnRequest;
            channel.blockAddress = quint8(1 + k / 8);
            channel.channelNumber = quint8(k % 8);
            channel.timeoutSeconds = 1 + k % 5;
            const int row = k + 1;
            state.queryList.setText(row, QueryColumn::Name, channel.name);
            state.queryList.setText(row, QueryColumn::Terminal, channel.terminal);
            state.queryList.setText(row, QueryColumn::Mode, channel.mode);
            state.countdownSeconds[size_t(k)] = channel.timeoutSeconds;
            state.poll.configured(k, channel);
        }
        state.rebuildQueues();
    }

    void run(const uint8_t* data, size_t size)
    {
        // Files only grow with appends: start a fresh archive now and then.
        if (++runs % 512 == 0)
            QDir(archive).removeRecursively();
        setPollList();
        clock.reset();
        monitor.setEnabled(false);
        monitor.btnClearReciveMemoClick();
        for (int t = 0; t < kTerminalCount; ++t)
            receiver.resetFraming(t);
        size_t at = 0;
        while (at < size) {
            const uint8_t head = data[at++];
            if (head == 0xFF) {
                monitor.setEnabled(!monitor.isEnabled());
            } else if (head >= 0xF0) {
                clock.step((head - 0xF0) * 17 + 1);
            } else {
                const size_t wanted = at < size ? data[at++] : 0;
                const size_t length = std::min(wanted, size - at);
                receiver.takeBytes(head % kTerminalCount, reinterpret_cast<const char*>(data + at),
                                   qsizetype(length));
                at += length;
            }
        }
    }
};

ReceivePath& path()
{
    startFuzzApplication(true);
    static ReceivePath receivePath;
    return receivePath;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    path().run(data, size);
    return 0;
}
