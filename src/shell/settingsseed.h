#pragma once

#include "model/outcome.h"

#include <QString>

// The service's settings come from a file the administrator keeps read-only
// (/etc) and live in a file the station may write (its state folder): at every
// start the written file is rebuilt from the administrator's, and only what the
// station itself writes survives from it, the last measurement's stamp.
namespace SettingsSeed {

// target := every value of seed, then target's former LastMeasure if it had one.
Outcome rebuild(const QString& seed, const QString& target);

} // namespace SettingsSeed
