#pragma once

#include <QModbusTcpServer>
#include <functional>

// The observer Qt's Modbus server asks about every new connection, before it
// reads from it: hands the socket to the service, which admits it or not.
class ModbusConnectionGate : public QModbusTcpConnectionObserver {
public:
    explicit ModbusConnectionGate(std::function<bool(QTcpSocket*)> admit)
        : m_admit(std::move(admit))
    {
    }
    bool acceptNewConnection(QTcpSocket* newClient) override { return m_admit(newClient); }

private:
    std::function<bool(QTcpSocket*)> m_admit;
};
