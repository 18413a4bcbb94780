#pragma once

#include <QByteArray>
#include <QRandomGenerator>
#include <array>

// One simulated tank behind a sensor: the level fills and drains in a slow
// cycle, the temperatures drift, and volume, masses, capacitances and periods
// follow the level. Gives the measured values as the standard answer's payload.
class TankModel {
public:
    static constexpr int kPayloadLength = 57; // answer bytes 5..61

    TankModel(int seed, int sensorVersion);

    // Moves the tank on to elapsedSeconds since the simulation started.
    void advanceTo(double elapsedSeconds);

    // Answer bytes 5..61, big-endian as the blocks send them.
    QByteArray payload() const;
    // T1..T5 in degrees.
    std::array<double, 5> temperatures() const { return m_temperatures; }

    double levelMillimetres() const { return m_level; }

private:
    QRandomGenerator m_random;
    int m_version = 0;
    double m_phase = 0;
    double m_cycleSeconds = 120;
    double m_level = 0;
    std::array<double, 7> m_temperaturesAll{};
    std::array<double, 5> m_temperatures{};
    double m_lastSeconds = 0;
};
