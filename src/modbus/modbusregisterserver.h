#pragma once

#include <QModbusTcpServer>
#include <vector>

// Qt's Modbus TCP server over the register image the service keeps: input and
// holding registers both read the image; every other function is refused
// before it reaches Qt's own tables, so no client changes anything: a write
// gets exception 01 (illegal function), a read outside the image 02 (illegal
// data address). Each refusal is reported for the service's log.
class ModbusRegisterServer : public QModbusTcpServer {
    Q_OBJECT
public:
    explicit ModbusRegisterServer(const std::vector<quint16>& registers, QObject* parent = nullptr);

    // The reply to one request's PDU, as a Modbus client would get it.
    QModbusResponse reply(const QModbusPdu& request) { return processRequest(request); }

signals:
    // what: a short English description for the log.
    void requestRefused(const QString& what);

protected:
    QModbusResponse processRequest(const QModbusPdu& request) override;
    bool readData(QModbusDataUnit* newData) const override;

private:
    QModbusResponse refuse(const QModbusPdu& request, QModbusExceptionResponse::ExceptionCode code,
                           const QString& what);

    const std::vector<quint16>& m_registers;
};
