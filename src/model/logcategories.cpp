#include "logcategories.h"

Q_LOGGING_CATEGORY(lcModel, "kx7r.model", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSerial, "kx7r.serial", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAnswers, "kx7r.answers", QtInfoMsg)
Q_LOGGING_CATEGORY(lcArchive, "kx7r.archive", QtInfoMsg)
Q_LOGGING_CATEGORY(lcShell, "kx7r.shell", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNet, "kx7r.net", QtInfoMsg)
