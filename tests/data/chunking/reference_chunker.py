#!/usr/bin/env python3
"""Reference content-defined chunker that writes the golden vectors of test_chunking.

It is deliberately written apart from the C++ chunker, straight from the cutting rule, so that the
committed vectors cross-check the optimised implementation:

  for each piece starting at pos, with available = bytes left in the stream:
    available <= 4 MiB              -> the piece is the rest
    otherwise limit = min(available, 16 MiB), hash = 0 (32-bit)
      for p in [4 MiB, limit): hash = (hash >> 1) + gear[byte at pos + p]
                                  if hash & 0x3FFFFF == 0: the piece is p + 1 bytes
      no hit                     -> the piece is limit bytes

Run it from this folder (python3 reference_chunker.py); it rewrites golden_pieces.txt. The stream
layout below must stay equal to goldenStream() in tests/chunking/ChunkingTestData.cpp.
"""

import hashlib
import struct
import sys

MIB = 1024 * 1024
MINIMUM = 4 * MIB
MAXIMUM = 16 * MIB
MASK = 0x3FFFFF

GEAR_HEX = """
    5c95c078 22408989 2d48a214 12842087 530f8afb 474536b9 2963b4f1 44cb738b
    4ea7403d 4d606b6e 074ec5d3 3af39d18 726003ca 37a62a74 51a2f58e 7506358e
    5d4ab128 4d4ae17b 41e85924 470c36f7 4741cbe1 01bb7f30 617c1de3 2b0c3a1f
    50c48f73 21a82d37 6095ace0 419167a0 3caf49b0 40cea62d 66bc1c66 545e1dad
    2bfa77cd 6e85da24 5fb0bdc5 652cfc29 3a0ae1ab 2837e0f3 6387b70e 13176012
    4362c2bb 66d8f4b1 37fce834 2c9cd386 21144296 627268a8 650df537 2805d579
    3b21ebbd 7357ed34 3f58b583 7150ddca 7362225e 620a6070 2c5ef529 7b522466
    768b78c0 4b54e51e 75fa07e5 06a35fc6 30b71024 1c8626e1 296ad578 28d7be2e
    1490a05a 7cee43bd 698b56e3 09dc0126 4ed6df6e 02c1bfc7 2a59ad53 29c0e434
    7d6c5278 507940a7 5ef6ba93 68b6af1e 46537276 611bc766 155c587d 301ba847
    2cc9dda7 0a438e2c 0a69d514 744c72d3 4f326b9b 7ef34286 4a0ef8a7 6ae06ebe
    669c5372 12402dcb 5feae99d 76c7f4a7 6abdb79c 0dfaa038 20e2282c 730ed48b
    069dac2f 168ecf3e 2610e61f 2c512c8e 15fb8c06 5e62bc76 69555135 0adb864c
    4268f914 349ab3aa 20edfdb2 51727981 37b4b3d8 5dd17522 6b2cbfe4 5c47cf9f
    30fa1ccd 23dedb56 13d1f50a 64eddee7 0820b0f7 46e07308 1e2d1dfd 17b06c32
    250036d8 284dbf34 68292ee0 362ec87c 087cb1eb 76b46720 104130db 71966387
    482dc43f 2388ef25 524144e1 44bd834e 448e7da3 3fa6eaf9 3cda215c 3a500cf3
    395cb432 5195129f 43945f87 51862ca4 56ea8ff1 201034dc 4d328ff5 7d73a909
    6234d379 64cfbf9c 36f6589a 0a2ce98a 5fe4d971 03bc15c5 44021d33 16c1932b
    37503614 1acaf69d 3f03b779 49e61a03 1f52d7ea 1c6ddd5c 062218ce 07e7a11a
    1905757a 7ce00a53 49f44f29 4bcc70b5 39feea55 5242cee8 3ce56b85 00b81672
    46beeccc 3ca0ad56 2396cee8 78547f40 6b08089b 66a56751 781e7e46 1e2cf856
    3bc13591 494a4202 520494d7 2d87459a 757555b6 42284cc1 1f478507 75c95dff
    35ff8dd7 4e4757ed 2e11f88c 5e1b5048 420e6699 226b0695 4d1679b4 5a22646f
    161d1131 125c68d9 1313e32e 4aa85724 21dc7ec1 4ffa29fe 72968382 1ca8eef3
    3f3b1c28 39c2fb6c 6d76493f 7a22a62e 789b1c2a 16e0cb53 7deceeeb 0dc7e1c6
    5c75bf3d 52218333 106de4d6 7dc64422 65590ff4 2c02ec30 64a9ac67 59cab2e9
    4a21d2f3 0f616e57 23b54ee8 02730aaa 2f3c634d 7117fc6c 01ac6f05 5a9ed20c
    158c4e2a 42b699f0 0c7c14b3 02bd9641 15ad56fc 1c722f60 7da1af91 23e0dbcb
    0e93e12b 64b2791d 440d2476 588ea8dd 4665a658 7446c418 1877a774 5626407e
    7f63bd46 32d2dbd8 3c790f4a 772b7239 6f8b2826 677ff609 0dc82c11 23ffe354
    2eac53a6 16139e09 0afd0dbc 2a4d4237 56a368c7 234325e4 2dce9187 32e8ea7e
"""
GEAR = [int(word, 16) for word in GEAR_HEX.split()]
assert len(GEAR) == 256


def xorshift_bytes(seed, size):
    """xorshift64 (13, 7, 17); each state after a step is emitted as 8 little-endian bytes."""
    mask = (1 << 64) - 1
    state = seed
    words = []
    for _ in range((size + 7) // 8):
        state ^= (state << 13) & mask
        state ^= state >> 7
        state ^= (state << 17) & mask
        words.append(state)
    return struct.pack("<%dQ" % len(words), *words)[:size]


def golden_stream():
    parts = [
        xorshift_bytes(0x9E3779B97F4A7C15, 40 * MIB + 12345),
        bytes(20 * MIB),
        xorshift_bytes(0x0123456789ABCDEF, 30 * MIB + 777),
        bytes(i % 251 for i in range(5 * MIB + 3)),
    ]
    return b"".join(parts)


def cut(data):
    pieces = []
    pos = 0
    while pos < len(data):
        available = len(data) - pos
        if available <= MINIMUM:
            length = available
        else:
            limit = min(available, MAXIMUM)
            length = limit
            h = 0
            for p in range(MINIMUM, limit):
                h = ((h >> 1) + GEAR[data[pos + p]]) & 0xFFFFFFFF
                if h & MASK == 0:
                    length = p + 1
                    break
        pieces.append((pos, length, hashlib.sha256(data[pos:pos + length]).hexdigest()))
        pos += length
    return pieces


def main():
    data = golden_stream()
    table_hash = hashlib.sha256(struct.pack("<256I", *GEAR)).hexdigest()
    with open("golden_pieces.txt", "w") as out:
        out.write("# Pieces of the golden stream, written by reference_chunker.py: offset size sha256\n")
        out.write("# gear-table-sha256 %s\n" % table_hash)
        out.write("# stream-size %d\n" % len(data))
        out.write("# stream-sha256 %s\n" % hashlib.sha256(data).hexdigest())
        for offset, size, digest in cut(data):
            out.write("%d %d %s\n" % (offset, size, digest))
    return 0


if __name__ == "__main__":
    sys.exit(main())
