#pragma once

#include "modbussettings.h"

#include "answers/latestanswers.h"

#include <QDateTime>
#include <QString>
#include <span>

struct ChannelEntry;

// The register image SCADA hosts read, the same as input and as holding
// registers: a block of kRowBlockSize registers per poll-list row at
// (row - 1) * kRowBlockSize, then the station block at kStationBlock. Pure
// functions over the latest answers, the poll list and the terminals; the
// service calls them each receive tick and on every freshness check.
class ModbusRegisterMap {
public:
    static constexpr int kRowBlockSize = 100;
    // Registers of a row's block; the float32 values take two registers each.
    enum RowRegister : int {
        Status = 0,  // the last answer's status byte, of either kind
        Quality = 1, // enum Quality
        Age = 2,     // seconds since the last accepted answer; kAgeUnknown: none
        Year = 3,    // measurement time of the values; 0 before the first
        Month = 4,
        Day = 5,
        Hour = 6,
        Minute = 7,
        Second = 8,
        Terminal = 9,    // 1..10; 0: not connected
        StatusCode = 10, // the last status answer's status byte; 0: none
        Values = 11,     // archive columns 3..29 as float32, NaN before the first
    };
    // Archive columns 3..29 ("Адрес датчика" .. "АЦП"): record indices 2..28.
    static constexpr int kFirstValueColumn = 2;
    static constexpr int kValueCount = 27;
    static constexpr int kRowRegistersUsed = Values + 2 * kValueCount; // the rest read 0

    static constexpr int kStationBlock = 30 * kRowBlockSize;
    enum StationRegister : int {
        TerminalStates = 0, // ten: 0 "Не определен", 1 "Подключен", 2 "Занят"
        FreshCount = 10,
        StaleCount = 11,
        NotAnsweringCount = 12,
        Uptime = 13, // seconds, uint32 in the float's word order
    };
    static constexpr int kStationBlockSize = Uptime + 2;
    static constexpr int kRegisterCount = kStationBlock + kStationBlockSize;

    enum Quality : quint16 { NoAnswerYet = 0, Fresh = 1, Stale = 2, NotAnswering = 3 };
    static constexpr quint16 kAgeUnknown = 0xFFFF;
    // Stale: no accepted answer within this many times the row's timeout.
    static constexpr int kStaleTimeouts = 3;

    using WordOrder = ModbusSettings::WordOrder;

    // statusCell: the row's "Статус" cell now, which tells a block that stopped answering.
    static quint16 quality(const LatestAnswers::Entry& entry, qint32 timeoutSeconds,
                           const QString& statusCell, const QDateTime& now);
    static void writeRow(std::span<quint16, kRowBlockSize> block, const LatestAnswers::Entry& entry,
                         const ChannelEntry& channel, const QString& statusCell,
                         const QDateTime& now, WordOrder order);
    // Only the registers a row's freshness changes: quality and age.
    static void writeFreshness(std::span<quint16, kRowBlockSize> block,
                               const LatestAnswers::Entry& entry, const ChannelEntry& channel,
                               const QString& statusCell, const QDateTime& now);
    static quint16 terminalState(const QString& terminalStatus);
    static void writeFloat(std::span<quint16, 2> at, float value, WordOrder order);
    static void writeUInt32(std::span<quint16, 2> at, quint32 value, WordOrder order);
};
