#!/bin/bash
# Chunk scan (cutting and hashing, one thread) of a 1 GiB file in the page cache against
# `openssl dgst -sha256` of the same file in the same run; best of three for each.
#   BUILD_DIR  build tree (default: build/ of this checkout)
#   SIZE       file size in bytes (default 1 GiB); TMPDIR decides where the file goes
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
size=${SIZE:-1073741824}
repeats=3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! cmake --build "$build" --target bench_chunking >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    exit 1
fi
bench=$build/bench/bench_chunking
data=$work/data.bin
"$bench" generate "$data" "$size"
cat "$data" >/dev/null

best_openssl=
for _ in $(seq "$repeats"); do
    start=$(date +%s%N)
    openssl dgst -sha256 "$data" >/dev/null
    elapsed=$(( $(date +%s%N) - start ))
    if [ -z "$best_openssl" ] || [ "$elapsed" -lt "$best_openssl" ]; then
        best_openssl=$elapsed
    fi
done

scan_line=$("$bench" scan "$data" "$repeats")
cut_lines=$("$bench" cut 256)

awk -v size="$size" -v ns="$best_openssl" -v scan="$scan_line" 'BEGIN {
    split(scan, fields, " ")
    for (i in fields) { split(fields[i], kv, "="); value[kv[1]] = kv[2] }
    openssl = size / (ns / 1e9) / 1e6
    printf "file:           %d bytes in the page cache\n", size
    printf "openssl sha256: %.1f MB/s (%.3f s)\n", openssl, ns / 1e9
    printf "chunk scan:     %.1f MB/s (%.3f s, %d pieces)\n", value["mb_per_s"], value["seconds"], value["pieces"]
    printf "ratio:          %.2f of openssl (goal 0.45)\n", value["mb_per_s"] / openssl
    printf "peak memory:    %.1f MiB resident (chunk scan process)\n", value["peak_rss_kib"] / 1024
}'
echo "bare chunker:"
echo "$cut_lines" | sed 's/^/  /'
