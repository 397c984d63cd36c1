#!/usr/bin/env python3
"""Writes placeholder.bin: a stand-in firmware of 88064 bytes.

Deterministic pseudo-random bytes (a 32-bit LCG), with runs of 0x10 in several
blocks and one block whose frame checksum comes out as 0x10, so every kind of
byte stuffing a block can need is exercised.
"""
SIZE, BLOCK, BASE = 0x15800, 1024, 0xE8800

data = bytearray(SIZE)
state = 0x2545F491
for i in range(SIZE):
    state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
    data[i] = state >> 24

for block in (0, 3, 34, 57, 85):
    for k in range(0, 40, 3):
        data[block * BLOCK + 100 + k] = 0x10


def checksum(block):
    address = BASE + block * BLOCK
    body = [0x08, 0x04, 0x03, address & 0xFF, (address >> 8) & 0xFF, (address >> 16) & 0xFF, 0]
    return (sum(body) + sum(data[block * BLOCK:(block + 1) * BLOCK])) & 0xFF


block = 7
last = block * BLOCK + BLOCK - 1
data[last] = (data[last] + 0x10 - checksum(block)) & 0xFF
assert checksum(block) == 0x10

with open("placeholder.bin", "wb") as out:
    out.write(data)
