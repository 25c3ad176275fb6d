#!/usr/bin/env python3
"""Writes the bad record files of this folder whose bytes matter (binary, NUL bytes, line-end
runs), byte for byte the same every time. The readable ones are kept as they are; files too big
to keep (a 1 MB line) and names no folder can hold are made by the tests themselves."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def binary(size, seed):
    # A small linear congruential generator: the same bytes on every machine and Python.
    out = bytearray()
    state = seed
    for _ in range(size):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append(state >> 16 & 0xFF)
    return bytes(out)


# Binary data under a record file's name.
write("x.nmea", binary(4096, 1))

# NUL bytes inside lines: a NUL ends what the line says, whatever follows it.
write("nul-in-lines.nmea",
      b"2018-04-11,10:20:01,22.5\x00,113.9\r\n"           # longitude cut off: no point
      b"2018-04-11,10:20:02,22.5,113.9\x00junk\r\n"       # complete before the NUL: a point
      b"\x002018-04-11,10:20:03,22.6,113.9\r\n"           # empty line: no point
      b"$GPRMC,102030.00,A,2232.5000,N,11354.0000,E,0.0,0.0,110418,,,A\x00*00\r\n"  # no checksum
      b"00000000000004,22.5431234,113.9\x001234\r\n"       # numbered line: NUL before byte 36
      b"AREA: 12\x00 SQ.M. (3 MU)\r\n"                     # area read, mu not
      b"\x00\x00\x00\x00\r\n")

# Two points with 10 000 blank lines between them.
write("blank-lines.nmea",
      b"2018-04-11,10:20:01,22.5,113.9\r\n" + b"\r\n" * 10000 + b"2018-04-11,10:20:02,22.501,113.9\r\n")
