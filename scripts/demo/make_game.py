#!/usr/bin/env python3
"""Writes the files of a demo game version into a folder: a few hundred MB of generated game
data in several files (the large ones are chunked by quenmar-pack), a settings document and a
small client program that reports how it was started. Version 2 changes one large file in a
single place, so an update only needs the chunks around that place."""
import argparse
import random
import os
import stat

MiB = 1024 * 1024


def pseudo_random_block(seed: str, size: int) -> bytes:
    """Deterministic bytes that barely compress, like packed game assets."""
    return random.Random(seed).randbytes(size)


def write_data_file(path: str, seed: str, size: int, patch_at: int = -1) -> None:
    os.makedirs(os.path.dirname(path), exist_ok=True)
    block = 4 * MiB
    with open(path, "wb") as f:
        written = 0
        while written < size:
            n = min(block, size - written)
            data = bytearray(pseudo_random_block(f"{seed}/{written // block}", n))
            if patch_at >= 0 and written <= patch_at < written + n:
                marker = b"QUENMAR PATCH 2: the bridge of Elmsreach is rebuilt. " * 20
                offset = patch_at - written
                data[offset:offset + len(marker)] = marker[: max(0, n - offset)]
            f.write(data)
            written += n


CLIENT = """#!/bin/sh
# Quenmar Online demo client: records that the launcher started it, and how.
here=$(cd "$(dirname "$0")/.." && pwd)
report="${QUENMAR_DEMO_CLIENT_REPORT:-$here/client-started.txt}"
{
  echo "Quenmar Online demo client (game version __VERSION__) started at $(date '+%Y-%m-%d %H:%M:%S')"
  echo "arguments: $*"
  echo "working directory: $(pwd)"
  echo "LD_LIBRARY_PATH: ${LD_LIBRARY_PATH:-}"
} > "$report"
cat "$report"
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("folder")
    parser.add_argument("--version", type=int, default=1)
    parser.add_argument("--scale", type=float, default=1.0, help="multiplies the data sizes")
    args = parser.parse_args()
    root = args.folder
    os.makedirs(os.path.join(root, "bin"), exist_ok=True)

    client = os.path.join(root, "bin", "quenmar-client")
    with open(client, "w", encoding="utf-8") as f:
        f.write(CLIENT.replace("__VERSION__", str(args.version)))
    os.chmod(client, os.stat(client).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)

    settings = os.path.join(root, "QuenmarOnlineClient_Data", "Data", "Settings", "settings.json")
    os.makedirs(os.path.dirname(settings), exist_ok=True)
    with open(settings, "w", encoding="utf-8") as f:
        f.write('{\n    "GraphicsAPI": "OpenGL"\n}\n')

    size = lambda mib: int(mib * MiB * args.scale)
    world = size(192)
    write_data_file(os.path.join(root, "data", "world.pak"), "world", world,
                    patch_at=world // 2 if args.version >= 2 else -1)
    write_data_file(os.path.join(root, "data", "textures.pak"), "textures", size(96))
    write_data_file(os.path.join(root, "data", "sounds.pak"), "sounds", size(24))
    with open(os.path.join(root, "data", "version.txt"), "w", encoding="utf-8") as f:
        f.write(f"Quenmar Online demo build {args.version}\n")


if __name__ == "__main__":
    main()
