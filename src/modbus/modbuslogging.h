#pragma once

#include <QLoggingCategory>

// The Modbus folder's category; --headless prints it like the others.
Q_DECLARE_LOGGING_CATEGORY(lcModbus)
