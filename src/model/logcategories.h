#pragma once

#include <QLoggingCategory>

// One category per folder; --headless prints them to standard error.
Q_DECLARE_LOGGING_CATEGORY(lcModel)
Q_DECLARE_LOGGING_CATEGORY(lcSerial)
Q_DECLARE_LOGGING_CATEGORY(lcAnswers)
Q_DECLARE_LOGGING_CATEGORY(lcArchive)
Q_DECLARE_LOGGING_CATEGORY(lcShell)
Q_DECLARE_LOGGING_CATEGORY(lcNet)

// A category to log into, passed around: one of the functions above.
using LogCategory = const QLoggingCategory& (*)();
