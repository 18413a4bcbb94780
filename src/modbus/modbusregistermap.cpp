#include "modbusregistermap.h"

#include "model/channelentry.h"
#include "model/stationtexts.h"
#include "model/terminalname.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace {
bool saysNotAnswering(const QString& statusCell)
{
    return statusCell == Texts::blockNotAnswering || statusCell == Texts::noDataFromBlock;
}

quint16 ageSeconds(const LatestAnswers::Entry& entry, const QDateTime& now)
{
    if (!entry.lastReceived.isValid())
        return ModbusRegisterMap::kAgeUnknown;
    // A clock set back shows age 0, never a wrapped number.
    const qint64 seconds = std::max<qint64>(0, entry.lastReceived.secsTo(now));
    return quint16(std::min<qint64>(seconds, ModbusRegisterMap::kAgeUnknown - 1));
}
} // namespace

quint16 ModbusRegisterMap::quality(const LatestAnswers::Entry& entry, qint32 timeoutSeconds,
                                   const QString& statusCell, const QDateTime& now)
{
    const bool notAnswering = saysNotAnswering(statusCell);
    if (!entry.lastReceived.isValid())
        return notAnswering ? NotAnswering : NoAnswerYet;
    // A timeout below one second still gives the block three seconds.
    const qint64 limitMs = qint64(std::max(timeoutSeconds, 1)) * kStaleTimeouts * 1000;
    if (entry.lastReceived.msecsTo(now) > limitMs)
        return Stale;
    return notAnswering ? NotAnswering : Fresh;
}

void ModbusRegisterMap::writeFreshness(std::span<quint16, kRowBlockSize> block,
                                       const LatestAnswers::Entry& entry,
                                       const ChannelEntry& channel, const QString& statusCell,
                                       const QDateTime& now)
{
    block[Quality] = quality(entry, channel.timeoutSeconds, statusCell, now);
    block[Age] = ageSeconds(entry, now);
}

void ModbusRegisterMap::writeRow(std::span<quint16, kRowBlockSize> block,
                                 const LatestAnswers::Entry& entry, const ChannelEntry& channel,
                                 const QString& statusCell, const QDateTime& now, WordOrder order)
{
    std::fill(block.begin(), block.end(), quint16(0));
    block[Status] = entry.status;
    writeFreshness(block, entry, channel, statusCell, now);
    block[Terminal] = quint16(terminalIndex(channel.terminal) + 1);
    block[StatusCode] = entry.statusCode.value_or(0);
    const MeasurementRecord* m = entry.measurement ? &*entry.measurement : nullptr;
    if (m) {
        block[Year] = quint16(m->year);
        block[Month] = quint16(m->month);
        block[Day] = quint16(m->day);
        block[Hour] = quint16(m->hour);
        block[Minute] = quint16(m->minute);
        block[Second] = quint16(m->second);
    }
    for (int i = 0; i < kValueCount; ++i) {
        const float value = m ? float(m->numbers[size_t(kFirstValueColumn + i)])
                              : std::numeric_limits<float>::quiet_NaN();
        writeFloat(block.subspan(size_t(Values + 2 * i)).first<2>(), value, order);
    }
}

quint16 ModbusRegisterMap::terminalState(const QString& terminalStatus)
{
    if (terminalStatus == Texts::portConnected)
        return 1;
    if (terminalStatus == Texts::portBusy)
        return 2;
    return 0;
}

void ModbusRegisterMap::writeUInt32(std::span<quint16, 2> at, quint32 value, WordOrder order)
{
    const auto high = quint16(value >> 16);
    const auto low = quint16(value & 0xFFFF);
    at[0] = order == WordOrder::ABCD ? high : low;
    at[1] = order == WordOrder::ABCD ? low : high;
}

void ModbusRegisterMap::writeFloat(std::span<quint16, 2> at, float value, WordOrder order)
{
    writeUInt32(at, std::bit_cast<quint32>(value), order);
}
