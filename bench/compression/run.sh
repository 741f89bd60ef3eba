#!/usr/bin/env bash
# Decoding speed of the container decoder against the command-line tools on the same streams:
# LZMA-alone (id 5) vs `xz -d --format=lzma`, lzip (id 4) vs `lzip -d`, raw deflate (id 3) vs
# `gzip -d`, zstd (id 7) vs `zstd -d`. Each figure is the best of three whole-process runs (wall and user+sys CPU time), input
# in page cache; CPU time is the steadier figure on a busy machine.
# Usage: bench/compression/run.sh [BUILD_DIR] [SIZE_MIB] [PRESET]   (goal: within 1.25x of the tool)
set -euo pipefail
build_dir=${1:-$(cd "$(dirname "$0")/../.." && pwd)/build}
size_mib=${2:-256}
preset=${3:-1}
tool="$build_dir/bin/bench_container_decode"
[ -x "$tool" ] || { echo "missing $tool (build the target bench_container_decode)" >&2; exit 1; }

work=$(mktemp -d /tmp/quenmar-decode-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
size=$((size_mib * 1024 * 1024))
"$tool" generate "$size_mib" "$work/data"

echo "compressing $size_mib MiB at preset $preset..." >&2
xz --format=lzma "-$preset" -c "$work/data" >"$work/data.lzma"
lzip "-$preset" -c "$work/data" >"$work/data.lz"
gzip -6 -n -c "$work/data" >"$work/data.gz"
zstd -q "-$preset" -c "$work/data" >"$work/data.zst"
# A gzip member without a name is a 10-byte header, the raw deflate stream and an 8-byte trailer.
tail -c +11 "$work/data.gz" | head -c -8 >"$work/data.deflate"
"$tool" wrap 5 "$size" "$work/data.lzma" "$work/lzma.container"
"$tool" wrap 4 "$size" "$work/data.lz" "$work/lzip.container"
"$tool" wrap 3 "$size" "$work/data.deflate" "$work/deflate.container"
"$tool" wrap 7 "$size" "$work/data.zst" "$work/zstd.container"
cat "$work"/* >/dev/null # warm the page cache

best() { # "WALL CPU": the best wall and best user+sys seconds of three runs of "$@"
    local wall="" cpu="" line w c
    for _ in 1 2 3; do
        line=$({ TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1)
        w=$(echo "$line" | awk '{ print $1 }')
        c=$(echo "$line" | awk '{ print $2 + $3 }')
        if [ -z "$wall" ] || awk -v a="$w" -v b="$wall" 'BEGIN { exit !(a < b) }'; then wall=$w; fi
        if [ -z "$cpu" ] || awk -v a="$c" -v b="$cpu" 'BEGIN { exit !(a < b) }'; then cpu=$c; fi
    done
    echo "$wall $cpu"
}

compare() { # name, container, tool command...
    local name=$1 container=$2
    shift 2
    local produced
    produced=$("$tool" decode "$container" | cut -d' ' -f2)
    [ "$produced" = "$size" ] || { echo "$name: decoded $produced bytes, expected $size" >&2; exit 1; }
    local ours theirs
    read -r ours_wall ours_cpu < <(best "$tool" decode "$container")
    read -r tool_wall tool_cpu < <(best "$@")
    printf '%-8s packed %9d  ours %6.3f s wall %6.3f s cpu | %-5s %6.3f s wall %6.3f s cpu | ratio wall %.3f cpu %.3f\n' \
        "$name" "$(stat -c %s "$container")" "$ours_wall" "$ours_cpu" "$1" "$tool_wall" "$tool_cpu" \
        "$(awk -v a="$ours_wall" -v b="$tool_wall" 'BEGIN { print a / b }')" \
        "$(awk -v a="$ours_cpu" -v b="$tool_cpu" 'BEGIN { print a / b }')"
}

printf 'input: %d MiB of generated log-like text, preset %s (ratio = ours / tool, goal <= 1.25)\n' \
    "$size_mib" "$preset"
compare lzma "$work/lzma.container" xz -d --format=lzma -c "$work/data.lzma"
compare lzip "$work/lzip.container" lzip -d -c "$work/data.lz"
compare deflate "$work/deflate.container" gzip -d -c "$work/data.gz"
compare zstd "$work/zstd.container" zstd -q -d -c "$work/data.zst"
