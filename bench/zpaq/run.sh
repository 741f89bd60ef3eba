#!/bin/bash
# Decoding speed of the ZPAQ decoder against `zpaq extract` on the same archives: a deterministic
# input (64 MiB by default) is compressed with each method, then both decode it; best of REPEATS
# wall-clock and CPU seconds each. zpaq runs with its default threads and with one thread.
#   BUILD_DIR  build tree (default: build/ of this checkout)
#   SIZE       input size in bytes (default 64 MiB); TMPDIR decides where the files go
#   METHODS    zpaq streaming methods (default "s6.0ci1.1.1.1.2am s6.3ci1": 64 MiB blocks)
#   REPEATS    runs per measurement (default 2)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
size=${SIZE:-67108864}
methods=${METHODS:-"s6.0ci1.1.1.1.2am s6.3ci1"}
repeats=${REPEATS:-2}

command -v zpaq >/dev/null || { echo "zpaq is not installed (scripts/setup-deps.sh installs it)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! cmake --build "$build" --target bench_zpaq >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    exit 1
fi
bench=$build/bench/bench_zpaq
input=$work/input.bin
"$bench" generate "$input" "$size"

# Best "wall cpu" seconds of a command over the repeats (cpu = user + sys of the children).
best_time() {
    local best_wall="" best_cpu="" t0 t1 wall cpu
    for _ in $(seq "$repeats"); do
        rm -rf "$work/extracted"
        t0=$(date +%s%N)
        read -r user sys < <( { TIMEFORMAT='%U %S'; time "$@" >/dev/null 2>&1; } 2>&1 )
        t1=$(date +%s%N)
        wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
        cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
        if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then best_wall=$wall; fi
        if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then best_cpu=$cpu; fi
    done
    echo "$best_wall $best_cpu"
}

printf '%-22s %10s %26s %26s %26s %8s\n' method archive "zpaq extract wall/cpu s" "zpaq -threads 1 wall/cpu" \
    "decoder wall/cpu s" "ratio"
for method in $methods; do
    archive=$work/$method.zpaq
    rm -f "$archive"
    (cd "$work" && zpaq add "$archive" input.bin -method "$method" >/dev/null 2>&1)
    read -r zwall zcpu < <(best_time zpaq extract "$archive" -to "$work/extracted")
    read -r z1wall z1cpu < <(best_time zpaq extract "$archive" -to "$work/extracted" -threads 1)
    result=$("$bench" decode "$archive" "$input" "$repeats")
    read -r dwall dcpu <<<"$result"
    ratio=$(awk -v d="$dwall" -v z="$zwall" 'BEGIN { printf "%.2f", d / z }')
    printf '%-22s %10s %26s %26s %26s %8s\n' "$method" "$(stat -c %s "$archive")" "$zwall / $zcpu" \
        "$z1wall / $z1cpu" "$dwall / $dcpu" "$ratio"
done
echo "ratio = decoder wall time / zpaq extract wall time (input $size bytes, best of $repeats);"
echo "on a busy machine wall times stretch unevenly: compare the cpu figures too"
