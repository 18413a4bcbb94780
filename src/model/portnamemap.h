#pragma once

#include <QString>

class SettingsStore;

// The device behind a port name the operator sees ("COM3"). Windows: the name
// itself. Elsewhere: the value COMn under KX7R_QUERRY\RS\PORTS when set, else
// /dev/ttyS<n-1>. A name that is no COM name gives an empty text (cannot open).
QString deviceForComName(const QString& comName, const SettingsStore& settings);
