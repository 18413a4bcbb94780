#pragma once

#include <QLoggingCategory>

// The broker folder's category; --headless prints it like the others.
Q_DECLARE_LOGGING_CATEGORY(lcBroker)
