#pragma once

#include "scenario.h"

#include <QList>
#include <QString>

class SettingsStore;

// Writes a station settings file that matches the simulated field: each line's
// terminal on its COM name mapped to the simulator's device, and the poll list
// from the scenario's channels in order (rows without a channel not connected).
class ConfigWriter {
public:
    struct Root {
        QString livePort = QStringLiteral("5000");
        QString archiveFolder;
    };
    struct LinePath {
        int number = 1;
        QString path;
    };

    static void write(SettingsStore& store, const Scenario& scenario, const QList<LinePath>& paths,
                      const Root& root);
    // The timeout a channel gets in the poll list.
    static int timeoutFor(const Scenario::Block& block, const Scenario::Channel& channel);
};
