#pragma once

#include <QLoggingCategory>

// The web folder's category; --headless prints it like the others.
Q_DECLARE_LOGGING_CATEGORY(lcWeb)
