#pragma once

#include "fixedclock.h"
#include "settingsfixture.h"
#include "shell/station.h"
#include "window/tformmain.h"

#include <QString>
#include <memory>

// A started station with its window, on a store of thirty on-request channels
// named "<channelName> 1" .. "<channelName> 30" and ten undefined terminals, the
// live service on a free port and the archive in historyFolder (the store's
// own folder when empty).
struct WindowRig {
    explicit WindowRig(const QString& channelName, const QString& historyFolder = {});

    SettingsFixture fixture;
    FixedClock clock;
    std::unique_ptr<Station> station;
    std::unique_ptr<TFormMain> window;
};
