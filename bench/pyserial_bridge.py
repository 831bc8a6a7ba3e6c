"""The drawer bridge written plainly with pyserial: wait for data, take all that waits, and call
the drawer library when it begins with ESC p. Usage: pyserial_bridge.py <port> <libCashBox.so>"""

import ctypes
import sys

import serial


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 64
    library = ctypes.CDLL(sys.argv[2])
    pulse = library.CashBoxNormalGPIO
    pulse.argtypes = [ctypes.c_char_p] * 4
    pulse.restype = ctypes.c_int32
    port = serial.Serial(sys.argv[1], 9600, bytesize=8, parity="N", stopbits=1, timeout=None)
    while True:
        try:
            data = port.read(1)
            waiting = port.in_waiting
            if waiting:
                data += port.read(waiting)
        except serial.SerialException:
            return 0  # the other end has gone
        if not data:
            return 0
        if data.startswith(b"\x1bp"):
            pulse(b"53a", b"5", b"538", b"6")


if __name__ == "__main__":
    sys.exit(main())
