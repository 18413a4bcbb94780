#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

// The line monitor's block for one good frame, as the receiver writes it while
// monitoring is on: terminal, block address, message code, data bytes 8 to a line,
// the LRC, between two rules. A frame of fewer than two bytes shows only the
// lines whose bytes it has.
namespace MonitorBlock {

inline constexpr int kBytesPerDataLine = 8;

QString rule(); // "+---...---+", 35 characters

// bytes: the n decoded bytes of the frame, LRC last. withTopRule: the monitor
// holds no line yet.
QStringList lines(int terminalNumber, const QString& comName, QByteArrayView bytes,
                  bool withTopRule);

} // namespace MonitorBlock
