#include "modbuslogging.h"

Q_LOGGING_CATEGORY(lcModbus, "kx7r.modbus", QtInfoMsg)
