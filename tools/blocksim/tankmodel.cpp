#include "tankmodel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
constexpr double kTankHeight = 6000;   // mm; S1 in tenths fits 16 bits
constexpr double kTankVolume = 2000;   // m3 when full
constexpr double kLiquidDensity = 720; // kg/m3
constexpr double kVapourDensity = 2.4;

// Offsets inside the payload: answer offset minus 5.
constexpr int at(int answerOffset)
{
    return answerOffset - 5;
}

void put(QByteArray& bytes, int answerOffset, quint32 value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes[at(answerOffset) + i] = char(value >> (8 * (width - 1 - i)) & 0xFF);
}

quint32 clampRaw(double value, quint32 max)
{
    return quint32(std::clamp(std::lround(value), 0L, long(max)));
}
} // namespace

TankModel::TankModel(int seed, int sensorVersion)
    : m_random(quint32(seed)), m_version(sensorVersion & 0x0F)
{
    m_phase = m_random.bounded(1000) / 1000.0 * 2 * std::numbers::pi;
    m_cycleSeconds = 90 + m_random.bounded(90);
    for (double& t : m_temperaturesAll)
        t = 8 + m_random.bounded(150) / 10.0;
    advanceTo(0);
}

void TankModel::advanceTo(double elapsedSeconds)
{
    const double fraction =
        0.5 + 0.4 * std::sin(m_phase + 2 * std::numbers::pi * elapsedSeconds / m_cycleSeconds);
    m_level = kTankHeight * fraction;
    const double step = std::max(0.0, elapsedSeconds - m_lastSeconds);
    m_lastSeconds = elapsedSeconds;
    for (double& t : m_temperaturesAll) {
        const double drift = (m_random.bounded(201) - 100) / 1000.0 * std::min(step, 10.0);
        t = std::clamp(t + drift, -40.0, 60.0);
    }
    m_temperaturesAll[3] = m_temperaturesAll[0] - 12.5; // one sensor below freezing
    std::copy_n(m_temperaturesAll.begin(), 5, m_temperatures.begin());
}

QByteArray TankModel::payload() const
{
    QByteArray bytes(kPayloadLength, '\0');
    const double fill = m_level / kTankHeight;
    const double volume = kTankVolume * fill;
    const double liquidMass = volume * kLiquidDensity / 1000;
    const double vapourMass = (kTankVolume - volume) * kVapourDensity / 1000;
    bytes[at(5)] = char(0x40);
    bytes[at(6)] = char(m_version);
    put(bytes, 8, clampRaw(m_level * 10, 0xFFFF), 2);                        // S1, 0.1 mm
    put(bytes, 10, clampRaw(m_level / 10 * 100, 0xFFFF), 2);                 // S2, 0.01, in cm
    put(bytes, 12, clampRaw((kTankHeight - m_level) / 10 * 100, 0xFFFF), 2); // S3
    put(bytes, 14, clampRaw(fill * 1000, 0xFFFF), 2);                        // V %, 0.1
    put(bytes, 16, clampRaw(volume * 1000, 0xFFFFFF), 3);                    // m3, 0.001
    put(bytes, 19, clampRaw(liquidMass * 1000, 0xFFFFFF), 3);                // t, 0.001
    put(bytes, 22, clampRaw(vapourMass * 1000, 0xFFFF), 2);
    put(bytes, 24, clampRaw(kLiquidDensity * 10 - m_temperatures[0] * 6, 0xFFFF), 2);
    put(bytes, 26, clampRaw(kVapourDensity * 10, 0xFFFF), 2);
    put(bytes, 28, clampRaw(1840 - m_temperatures[0], 0xFFFF), 2); // permittivity, 0.001
    put(bytes, 30, 1002, 2);
    for (int i = 0; i < 7; ++i) {
        const auto tenths = qint16(std::lround(m_temperaturesAll[size_t(i)] * 10));
        put(bytes, 32 + 2 * i, quint16(tenths), 2);
    }
    put(bytes, 46, clampRaw(20000 + m_level, 0xFFFF), 2); // periods
    put(bytes, 48, clampRaw(400000 + m_level * 3, 0xFFFFFF), 3);
    bytes[at(51)] = char(100 + int(fill * 100));
    put(bytes, 52, clampRaw((120 + fill * 80) * 100, 0xFFFF), 2); // CS1, 0.01 pF
    put(bytes, 54, clampRaw((300 + fill * 150) * 10, 0xFFFF), 2);
    put(bytes, 56, clampRaw((300 + (1 - fill) * 150) * 10, 0xFFFF), 2);
    put(bytes, 60, clampRaw(fill * 4095, 0xFFFF), 2); // ADC
    return bytes;
}
