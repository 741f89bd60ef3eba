#!/usr/bin/env python3
"""Writes a game-like source folder of many small files, the same for the same arguments.

generate.py FOLDER COUNT [LARGE]: COUNT files of 1 to 16 KiB in folders of 100 (text made of
words, compressible like scripts and localisation), and LARGE files (default 3) of 100 KiB to
1 MiB of random bytes (incompressible like media).
"""
import os
import random
import sys

folder, count = sys.argv[1], int(sys.argv[2])
large = int(sys.argv[3]) if len(sys.argv) > 3 else 3
generator = random.Random(count)
words = ["".join(generator.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(generator.randint(2, 10)))
         for _ in range(4000)]
for index in range(count):
    directory = os.path.join(folder, "data", f"d{index // 100:04}")
    if index % 100 == 0:
        os.makedirs(directory, exist_ok=True)
    size = generator.randint(1024, 16384)
    text = " ".join(generator.choices(words, k=size // 4)).encode()
    while len(text) < size:
        text += text
    with open(os.path.join(directory, f"f{index:06}.txt"), "wb") as out:
        out.write(text[:size])
os.makedirs(os.path.join(folder, "media"), exist_ok=True)
for index in range(large):
    with open(os.path.join(folder, "media", f"m{index}.bin"), "wb") as out:
        out.write(generator.randbytes(generator.randint(100 * 1024, 1024 * 1024)))
