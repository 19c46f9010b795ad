#!/usr/bin/env python3
"""Asks a serial device's driver for a line rate by number (termios2, BOTHER) and prints
the rate asked and the rate the driver reports back:  baud_probe.py DEVICE RATE"""
import fcntl
import os
import struct
import sys

TCGETS2, TCSETS2 = 0x802C542A, 0x402C542B
CBAUD, BOTHER, IBSHIFT = 0o010017, 0o010000, 16
LAYOUT = "IIIIB19sII"  # c_iflag c_oflag c_cflag c_lflag c_line c_cc[19] c_ispeed c_ospeed


def main(device, rate):
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        fields = list(struct.unpack(LAYOUT, fcntl.ioctl(fd, TCGETS2, bytes(struct.calcsize(LAYOUT)))))
        fields[2] = (fields[2] & ~(CBAUD | CBAUD << IBSHIFT)) | BOTHER | BOTHER << IBSHIFT
        fields[6] = fields[7] = rate
        fcntl.ioctl(fd, TCSETS2, struct.pack(LAYOUT, *fields))
        reported = struct.unpack(LAYOUT, fcntl.ioctl(fd, TCGETS2, bytes(struct.calcsize(LAYOUT))))[7]
    finally:
        os.close(fd)
    print(rate, reported)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]))
