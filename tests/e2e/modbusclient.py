"""A SCADA host's reads with pymodbus, for the end-to-end Modbus test.

    python3 modbusclient.py PORT WORDORDER REQUEST...

REQUEST is one of
    input:ADDRESS:COUNT      input registers, printed as numbers
    holding:ADDRESS:COUNT    holding registers, printed as numbers
    floats:TABLE:ADDRESS:N   N float32 from input or holding registers, decoded
                             by pymodbus in WORDORDER (ABCD or CDAB), printed
                             with every digit
    write:ADDRESS:VALUE      write one holding register

Each request prints one line: its values separated by spaces, "written", or
"exception N" with the Modbus exception code.
"""

import sys

from pymodbus.client import ModbusTcpClient
from pymodbus.constants import Endian
from pymodbus.payload import BinaryPayloadDecoder

UNIT = 1


def exception_of(response):
    code = getattr(response, "exception_code", None)
    return f"exception {code}" if code is not None else f"error {response}"


def run(client, word_order, request):
    kind, *args = request.split(":")
    if kind == "write":
        response = client.write_register(int(args[0]), int(args[1]), slave=UNIT)
        return exception_of(response) if response.isError() else "written"
    if kind == "floats":
        table, address, count = args[0], int(args[1]), int(args[2])
    else:
        table, address, count = kind, int(args[0]), int(args[1])
    read = client.read_input_registers if table == "input" else client.read_holding_registers
    response = read(address, 2 * count if kind == "floats" else count, slave=UNIT)
    if response.isError():
        return exception_of(response)
    if kind != "floats":
        return " ".join(str(r) for r in response.registers)
    decoder = BinaryPayloadDecoder.fromRegisters(
        response.registers,
        byteorder=Endian.Big,
        wordorder=Endian.Big if word_order == "ABCD" else Endian.Little,
    )
    return " ".join(repr(decoder.decode_32bit_float()) for _ in range(count))


def main():
    port, word_order, requests = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    client = ModbusTcpClient("127.0.0.1", port=port, timeout=3)
    if not client.connect():
        print("cannot connect", file=sys.stderr)
        return 2
    try:
        for request in requests:
            print(run(client, word_order, request), flush=True)
    finally:
        client.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
