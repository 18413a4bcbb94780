#include "answerdecoder.h"

#include "answerconsumer.h"

#include "model/clock.h"
#include "model/codepage1251.h"
#include "model/logcategories.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "model/terminalname.h"
#include "serial/hexframe.h"

#include <QLocale>
#include <cstring>

namespace {

// Positions in a decoded answer.
constexpr int kAddress = 0, kCode = 1, kSensor = 2, kStatus = 3, kChannel = 4, kVersion = 6;
constexpr int kMinimumLength = 6; // shorter answers carry no channel byte
constexpr int kStatusStamp = 5;   // stamp of a 12-byte status answer
constexpr int kMeasurementStamp = 57;
constexpr int kNameLength = AnswerRecord::kNameLength;

const QString kVersionPrefix = QStringLiteral("RLX.042.307.DTC.00");
const QString kCompactVersion = QStringLiteral("RLX.042.307.DTC.001");
const QString kWaitingForSensor = QStringLiteral("ПДЛ ожидает ответа от датчика");
const QString kNoTable = QStringLiteral("Нет тарировочной таблицы");
const QString kChannelNotPolled = QStringLiteral("ПДЛ не опрашивает этот канал");
const QString kBadChannel = QStringLiteral("Недопустимый номер канала (0..7)");

QString noSignal(quint8 sensorAddress)
{
    return QStringLiteral("Нет сигнала от датчика (адрес ") + QString::number(sensorAddress) + u')';
}

// A day or month of 0 is no date: such a stamp is as good as none.
bool validStamp(const quint8* s)
{
    return s[0] < 60 && s[1] < 60 && s[2] < 24 && s[3] >= 1 && s[3] <= 31 && s[4] >= 1 &&
           s[4] <= 12 && s[5] < 100;
}

// Compact temperature: low byte first, sixteenths of a degree, a negative value
// written as the bitwise complement (without adding one). Tenths, truncated.
qint16 compactTenths(quint8 lo, quint8 hi)
{
    int sign = 1;
    if ((hi & 0xF0) == 0xF0) {
        lo = quint8(~lo);
        hi = quint8(~hi);
        sign = -1;
    }
    const int whole = qint8(quint8(((hi & 0x0F) << 4) | (lo >> 4)));
    const int sixteenths = whole * 16 + (lo & 0x0F);
    return qint16(sign * sixteenths * 10 / 16);
}

} // namespace

AnswerDecoder::AnswerDecoder(StationState& state, const Clock& clock, AnswerConsumer& consumers,
                             QObject* parent)
    : QObject(parent), m_state(state), m_clock(clock), m_consumers(consumers)
{
}

void AnswerDecoder::beginTick()
{
    m_consumers.beginTick();
}

void AnswerDecoder::endTick()
{
    m_consumers.endTick();
}

// The terminal an answer came in on plays no part: the channel is found by
// block address and channel number.
void AnswerDecoder::DecodeAnswer(int t, QByteArrayView answer)
{
    if (t < 0 || t >= kTerminalCount)
        return;
    decodeStandard(reinterpret_cast<const quint8*>(answer.data()), int(answer.size()));
}

void AnswerDecoder::DecodeCompactAnswer(int t, QByteArrayView answer)
{
    if (t < 0 || t >= kTerminalCount)
        return;
    decodeCompact(reinterpret_cast<const quint8*>(answer.data()), int(answer.size()));
}

int AnswerDecoder::findChannel(quint8 blockAddress, quint8 channelNumber) const
{
    for (int k = 0; k < kChannelCount; ++k) {
        const ChannelEntry& channel = m_state.channels[k];
        if (channel.blockAddress == blockAddress && channel.channelNumber == channelNumber)
            return k;
    }
    return -1;
}

void AnswerDecoder::showStatus(int k, const QString& text, int colour)
{
    m_state.queryList.setCell(k + 1, QueryColumn::Status, text, CellColour(colour));
    m_answer.statusText = text;
}

// Shows the answer and, for an on-request channel, ends its wait and frees the
// terminal it is configured on (not the one the answer came in on). Starts the
// answer's value: record bytes 0..4 are set by the caller.
void AnswerDecoder::acceptAnswer(int k, const quint8* bytes, AcceptedAnswer::Format format)
{
    const ChannelEntry& channel = m_state.channels[k];
    m_answer.row = k;
    m_answer.terminal = terminalIndex(channel.terminal);
    m_answer.format = format;
    m_answer.status = bytes[kStatus];
    m_answer.measurement.reset();
    showStatus(k, Texts::dataReceived, int(CellColour::Green));
    if (channel.mode != Texts::modeActive) {
        m_state.poll.answered(terminalIndex(channel.terminal), k);
        m_state.queryList.setText(k + 1, QueryColumn::Waiting, QString());
    }
    m_state.countdownSeconds[k] = channel.timeoutSeconds;
}

AnswerDecoder::Stamp AnswerDecoder::measurementTime(const quint8* bytes, int n, int stampLength,
                                                    int stampOffset) const
{
    Stamp stamp{};
    if (n == stampLength && validStamp(bytes + stampOffset)) {
        std::memcpy(stamp.data(), bytes + stampOffset, stamp.size());
        return stamp;
    }
    const QDateTime now = m_clock.now();
    stamp = {quint8(now.time().second()), quint8(now.time().minute()),
             quint8(now.time().hour()),   quint8(now.date().day()),
             quint8(now.date().month()),  quint8(now.date().year() - 2000)};
    return stamp;
}

void AnswerDecoder::writeTimeAndName(int offset, int k, const Stamp& time)
{
    for (size_t i = 0; i < time.size(); ++i)
        m_record[offset + int(i)] = time[i];
    const QByteArray name = toCp1251(m_state.channels[k].name).left(kNameLength);
    for (int i = 0; i < kNameLength; ++i)
        m_record[offset + AnswerRecord::kStampLength + i] =
            i < name.size() ? quint8(name[i]) : quint8(' ');
}

void AnswerDecoder::finishShortRecord(int k, const Stamp& time)
{
    writeTimeAndName(AnswerRecord::kShortStamp, k, time);
    m_answer.kind = AcceptedAnswer::Kind::Status;
    m_answer.time = time;
    m_consumers.accept(m_answer);
}

// The 29 values are decoded here once, in the user's regional decimal symbol,
// for every consumer.
void AnswerDecoder::finishMeasurement(int k, const Stamp& time)
{
    writeTimeAndName(AnswerRecord::kFullStamp, k, time);
    m_answer.kind = AcceptedAnswer::Kind::Measurement;
    m_answer.time = time;
    m_answer.measurement =
        MeasurementRecord::fromAnswer(m_record, QLocale::system().decimalPoint());
    m_consumers.accept(m_answer);
}

void AnswerDecoder::decodeStandard(const quint8* bytes, int n)
{
    if (n < kMinimumLength || n > AnswerRecord::kCapacity - 1 ||
        bytes[kCode] != HexFrame::kRequestCode)
        return;
    const int k = findChannel(bytes[kAddress], bytes[kChannel]);
    if (k < 0 || terminalIndex(m_state.channels[k].terminal) < 0)
        return;
    acceptAnswer(k, bytes, AcceptedAnswer::Format::Standard);
    const Stamp time = n == 69 ? measurementTime(bytes, n, 69, kMeasurementStamp)
                               : measurementTime(bytes, n, 12, kStatusStamp);

    m_record.clear();
    std::memcpy(m_record.bytes.data(), bytes, size_t(n));
    m_record[AnswerRecord::kMarker] = 0xFF;
    m_record[AnswerRecord::kRow] = quint8(k);

    const int code = bytes[kStatus] & 0x0F;
    // A 6-byte answer ends before the version byte (the CR behind it gave 13).
    const int version = n > kVersion ? bytes[kVersion] & 0x0F : 0x0D;
    const int row = k + 1;
    // A short answer carries no measurement even with status 0.
    if (code == 0 && n > 12) {
        m_state.queryList.setText(row, QueryColumn::Version,
                                  kVersionPrefix + QString::number(version));
        finishMeasurement(k, time);
        return;
    }
    switch (code) {
    case 1:
        showStatus(k, kWaitingForSensor, int(CellColour::Blue));
        break;
    case 2:
        showStatus(k, noSignal(bytes[kSensor]), int(CellColour::Red));
        break;
    case 3:
        showStatus(k, kNoTable, int(CellColour::Red));
        if (version >= 1 && version <= 3)
            m_state.queryList.setText(row, QueryColumn::Version,
                                      kVersionPrefix + QString::number(version));
        break;
    case 4:
        showStatus(k, kChannelNotPolled, int(CellColour::Blue));
        m_state.queryList.setText(row, QueryColumn::Version, Texts::unknownVersion);
        break;
    case 5:
        showStatus(k, kBadChannel, int(CellColour::Red));
        m_state.queryList.setText(row, QueryColumn::Version, Texts::unknownVersion);
        break;
    default: // no text of its own: stays "Получены данные"
        break;
    }
    finishShortRecord(k, time);
}

void AnswerDecoder::decodeCompact(const quint8* bytes, int n)
{
    if ((n != 58 && n != 64) || bytes[kCode] != HexFrame::kRequestCode)
        return;
    // The compact answer carries the channel number in byte 2.
    const int k = findChannel(bytes[kAddress], bytes[kSensor]);
    if (k < 0 || terminalIndex(m_state.channels[k].terminal) < 0)
        return;
    acceptAnswer(k, bytes, AcceptedAnswer::Format::Compact);
    m_state.queryList.setText(k + 1, QueryColumn::Version, kCompactVersion);
    const Stamp time = measurementTime(bytes, n, 64, kMeasurementStamp);

    m_record.clear();
    m_record[AnswerRecord::kMarker] = 0xFF;
    m_record[AnswerRecord::kCode] = bytes[kCode];
    m_record[AnswerRecord::kSensorAddress] = bytes[kSensor];
    m_record[AnswerRecord::kStatus] = bytes[kStatus];
    m_record[AnswerRecord::kRow] = quint8(k);

    const quint8 status = bytes[kStatus];
    if ((status & 0x0F) == 0) {
        convertCompactMeasurement(bytes);
        finishMeasurement(k, time);
        return;
    }
    if (status == 1)
        showStatus(k, kWaitingForSensor, int(CellColour::Blue));
    else if (status == 2)
        showStatus(k, noSignal(bytes[kSensor]), int(CellColour::Red));
    else if (status == 3)
        showStatus(k, kNoTable, int(CellColour::Red));
    finishShortRecord(k, time);
}

// Rearranges a compact measurement into the standard record layout.
void AnswerDecoder::convertCompactMeasurement(const quint8* bytes)
{
    auto copy = [&](int to, int from, int count) {
        for (int i = 0; i < count; ++i)
            m_record[to + i] = bytes[from + i];
    };
    m_record[5] = quint8((bytes[5] & 0x1F) | 0x60);
    m_record[6] = 0x01; // the version every compact answer shows
    copy(7, 6, 7);
    copy(14, 55, 2);
    copy(16, 13, 16);
    for (int i = 0; i < 5; ++i) {
        const auto tenths = quint16(compactTenths(bytes[29 + 2 * i], bytes[30 + 2 * i]));
        m_record[32 + 2 * i] = quint8(tenths >> 8);
        m_record[33 + 2 * i] = quint8(tenths & 0xFF);
    }
    // Bytes 42..45 (T6 and ТД) stay 0.
    copy(46, 39, 16);
}
