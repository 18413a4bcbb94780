#include "terminalport.h"

#include <QSerialPort>

TerminalPort::TerminalPort() = default;
TerminalPort::~TerminalPort() = default;
TerminalPort::TerminalPort(TerminalPort&&) noexcept = default;
TerminalPort& TerminalPort::operator=(TerminalPort&&) noexcept = default;
