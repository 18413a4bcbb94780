#include "weblogging.h"

Q_LOGGING_CATEGORY(lcWeb, "kx7r.web", QtInfoMsg)
