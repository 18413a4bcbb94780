// A live client's request text, as one read event delivers it, through the
// handler's own entry point: the field check, the row check against the poll
// list and the forwarded request into the scheduler.
#include "../fuzzapplication.h"

#include "answers/liveserver.h"
#include "model/logcategories.h"
#include "model/settingsstore.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "model/terminalname.h"
#include "net/badinputlog.h"
#include "serial/hexframe.h"
#include "serial/iconblinker.h"
#include "serial/pollscheduler.h"
#include "serial/terminalaccess.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdint>
#include <cstdlib>

namespace {

struct LiveRequests {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("station.ini"))};
    StationState state;
    QTimer timerBlink;
    IconBlinker blinker{state, timerBlink};
    TerminalAccess access{state, settings};
    PollScheduler scheduler{state, access, blinker};
    LiveServer server{state, scheduler};
    BadInputLog log{lcAnswers, QStringLiteral("live client fuzz")};

    LiveRequests()
    {
        for (int k = 0; k < kChannelCount; ++k) {
            ChannelEntry& channel = state.channels[size_t(k)];
            channel.terminal = k % 7 == 3 ? Texts::notConnected : terminalText(k % 10);
            channel.blockAddress = quint8(k * 9);
            channel.channelNumber = quint8(k % 8);
            state.queryList.setText(k + 1, QueryColumn::Terminal, channel.terminal);
        }
    }

    void run(const uint8_t* data, size_t size)
    {
        state.forwardRow = 0;
        state.forwardFrame.clear();
        server.takeRequest(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), log);
        if (state.forwardRow == 0)
            return;
        // Whatever was taken names a row of the poll list and is a whole frame.
        const ChannelEntry& channel = state.channels[size_t(state.forwardRow - 1)];
        if (state.forwardRow > kChannelCount || channel.terminal == Texts::notConnected ||
            state.forwardFrame.size() != HexFrame::kForwardedLength)
            std::abort();
    }
};

LiveRequests& requests()
{
    startFuzzApplication(true);
    static LiveRequests live;
    return live;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    requests().run(data, size);
    return 0;
}
