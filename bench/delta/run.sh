#!/bin/bash
# Update bytes with chunk deltas on a file of realistic content (files of /usr/lib and /usr/share
# concatenated, not random bytes), for three edits of version 1:
#   edit    one 1 MiB region in the middle replaced by other real content
#   spread  ten scattered 4 KiB regions replaced
#   insert  1 MiB of other content inserted in the middle
# For each: the bytes a launcher holding version 1 downloads with deltas and without (the
# package documents decide both: needed chunks are those the old file lacks, each fetched as its
# smallest delta whose base chunks the old file holds, else whole), and `zstd -19` of the edited
# bytes. Goals: with deltas at most 1.5x the compressed edit for edit and spread, and at least 5x
# fewer bytes than without deltas for edit. Also the time of publishing version 2 into a copy of
# version 1's folder with deltas and with --delta-history 0 (goal: at most 2x).
#   BUILD_DIR  build tree (default: build/ of this checkout)
#   SIZE       file size in bytes (default 512 MiB; SIZE=134217728 for a quick run)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
size=${SIZE:-536870912}
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-delta.XXXXXX")
trap 'rm -rf "$work"' EXIT

cmake --build "$build" --target quenmar-pack >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
pack="$build/bin/quenmar-pack"
command -v zstd >/dev/null || apt-get install -y zstd >/dev/null

find /usr/lib /usr/share -type f -size +1k ! -path '/usr/lib/python3/*' 2>/dev/null | sort | xargs cat 2>/dev/null | head -c "$size" >"$work/base.bin" || true
# Edits come from other real content than the file holds: headers and scripts, as a patch brings.
find /usr/include /usr/share/perl5 /usr/lib/python3 -type f \( -name '*.h' -o -name '*.pm' -o -name '*.py' \) \
    2>/dev/null | sort -r | xargs cat 2>/dev/null | head -c 2097152 >"$work/pool.bin" || true

mkdir -p "$work/v1"
cp "$work/base.bin" "$work/v1/game.bin"
"$pack" build "$work/v1" "$work/out1" --version 1 >/dev/null

python3 - "$work" "$size" <<'PY'
import os, sys
work, size = sys.argv[1], int(sys.argv[2])
base = open(f"{work}/base.bin", "rb").read()
pool = open(f"{work}/pool.bin", "rb").read()
def write(name, data, edited):
    os.makedirs(f"{work}/{name}", exist_ok=True)
    open(f"{work}/{name}/game.bin", "wb").write(data)
    open(f"{work}/{name}.edit", "wb").write(edited)
middle = size // 2
write("edit", base[:middle] + pool[:1 << 20] + base[middle + (1 << 20):], pool[:1 << 20])
data = bytearray(base)
edited = b""
for index in range(10):
    at = (index + 1) * size // 11
    piece = pool[(1 << 20) + index * 4096:(1 << 20) + (index + 1) * 4096]
    data[at:at + 4096] = piece
    edited += piece
write("spread", bytes(data), edited)
write("insert", base[:middle] + pool[:1 << 20] + base[middle:], pool[:1 << 20])
PY

update_bytes() { # OUT of version 2 -> "with without"
    python3 - "$work/out1/package.json" "$1/package.json" <<'PY'
import json, sys
old, new = (json.load(open(path)) for path in sys.argv[1:3])
def chunks_of(document):
    return {f["localfile"]: [document["chunks"][i] for i in f.get("chunks", [])] for f in document["files"]}
old_files, new_files = chunks_of(old), chunks_of(new)
with_deltas = without = 0
seen = set()
for name, chunks in new_files.items():
    held = {chunk["unpackedhash"] for chunk in old_files.get(name, [])}
    for chunk in chunks:
        if chunk["unpackedhash"] in held or chunk["unpackedhash"] in seen:
            continue
        seen.add(chunk["unpackedhash"])
        without += chunk["packedsize"]
        usable = [d["size"] for d in chunk.get("deltas", []) if set(d["from"]) <= held]
        with_deltas += min(usable + [chunk["packedsize"]])
print(with_deltas, without)
PY
}

printf '%-8s %14s %14s %14s %10s %10s %12s %12s\n' case with-deltas without zstd-19-edit ratio saving publish-s no-delta-s
for case in edit spread insert; do
    reference=$(zstd -19 -c -q "$work/$case.edit" | wc -c)
    rm -rf "$work/out-plain" "$work/out-delta"
    cp -a "$work/out1" "$work/out-plain"
    cp -a "$work/out1" "$work/out-delta"
    start=$(date +%s.%N)
    "$pack" build "$work/$case" "$work/out-plain" --version 2 --delta-history 0 >/dev/null
    plain=$(echo "$(date +%s.%N) - $start" | bc)
    start=$(date +%s.%N)
    "$pack" build "$work/$case" "$work/out-delta" --version 2 >/dev/null
    delta=$(echo "$(date +%s.%N) - $start" | bc)
    read -r with without < <(update_bytes "$work/out-delta")
    printf '%-8s %14d %14d %14d %10.2f %10.1f %12.1f %12.1f\n' "$case" "$with" "$without" "$reference" \
        "$(echo "$with / $reference" | bc -l)" "$(echo "$without / $with" | bc -l)" "$delta" "$plain"
done
