#include "modbusregisterserver.h"

namespace {
bool isWrite(QModbusPdu::FunctionCode code)
{
    switch (code) {
    case QModbusPdu::WriteSingleCoil:
    case QModbusPdu::WriteSingleRegister:
    case QModbusPdu::WriteMultipleCoils:
    case QModbusPdu::WriteMultipleRegisters:
    case QModbusPdu::WriteFileRecord:
    case QModbusPdu::MaskWriteRegister:
    case QModbusPdu::ReadWriteMultipleRegisters:
        return true;
    default:
        return false;
    }
}

QString hexByte(int value)
{
    return QStringLiteral("0x") + QString::number(value, 16).rightJustified(2, u'0');
}
} // namespace

ModbusRegisterServer::ModbusRegisterServer(const std::vector<quint16>& registers, QObject* parent)
    : QModbusTcpServer(parent), m_registers(registers)
{
}

QModbusResponse ModbusRegisterServer::processRequest(const QModbusPdu& request)
{
    const QModbusPdu::FunctionCode code = request.functionCode();
    switch (code) {
    case QModbusPdu::ReadHoldingRegisters:
    case QModbusPdu::ReadInputRegisters: {
        // A malformed request or a count beyond 125 is Qt's to answer (exception 03).
        if (request.dataSize() == 4) {
            quint16 address = 0;
            quint16 count = 0;
            request.decodeData(&address, &count);
            if (count >= 1 && count <= 125 && int(address) + count > int(m_registers.size()))
                return refuse(request, QModbusExceptionResponse::IllegalDataAddress,
                              QStringLiteral("read of registers %1..%2 outside the map")
                                  .arg(address)
                                  .arg(int(address) + count - 1));
        }
        return QModbusTcpServer::processRequest(request);
    }
    case QModbusPdu::ReadCoils:
    case QModbusPdu::ReadDiscreteInputs:
        return refuse(request, QModbusExceptionResponse::IllegalDataAddress,
                      QStringLiteral("read of coils or discrete inputs: the map has none"));
    default:
        return refuse(
            request, QModbusExceptionResponse::IllegalFunction,
            isWrite(code)
                ? QStringLiteral("write (function %1) refused: read-only").arg(hexByte(code))
                : QStringLiteral("function %1 not served").arg(hexByte(code)));
    }
}

bool ModbusRegisterServer::readData(QModbusDataUnit* newData) const
{
    if (newData->registerType() != QModbusDataUnit::InputRegisters &&
        newData->registerType() != QModbusDataUnit::HoldingRegisters)
        return false;
    const int start = newData->startAddress();
    const auto count = int(newData->valueCount());
    if (start < 0 || count < 0 || start + count > int(m_registers.size()))
        return false;
    newData->setValues(
        QList<quint16>(m_registers.begin() + start, m_registers.begin() + start + count));
    return true;
}

QModbusResponse ModbusRegisterServer::refuse(const QModbusPdu& request,
                                             QModbusExceptionResponse::ExceptionCode code,
                                             const QString& what)
{
    emit requestRefused(what);
    return QModbusExceptionResponse(request.functionCode(), code);
}
