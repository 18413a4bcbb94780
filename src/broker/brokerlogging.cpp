#include "brokerlogging.h"

Q_LOGGING_CATEGORY(lcBroker, "kx7r.broker", QtInfoMsg)
