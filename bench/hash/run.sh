#!/usr/bin/env bash
# Compares the SHA-256 helper with `openssl dgst -sha256` on the same 1 GiB file in the page cache.
# Usage: bench/hash/run.sh [BUILD_DIR] [SIZE_MIB]   (goal: helper at least 0.9x openssl's speed)
set -euo pipefail
build_dir=${1:-$(cd "$(dirname "$0")/../.." && pwd)/build}
size_mib=${2:-1024}
tool="$build_dir/bin/bench_sha256"
[ -x "$tool" ] || { echo "missing $tool (build the target bench_sha256)" >&2; exit 1; }

file=$(mktemp /tmp/quenmar-sha256-bench.XXXXXX)
trap 'rm -f "$file"' EXIT
# Mixed data so nothing downstream can shortcut on zero pages.
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$file"
cat "$file" >/dev/null # warm the page cache

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

ours_digest=$("$tool" "$file" 2>/dev/null | cut -d' ' -f1)
openssl_digest=$(openssl dgst -sha256 -r "$file" | cut -d' ' -f1)
if [ "$ours_digest" != "$openssl_digest" ]; then
    echo "digest mismatch: $ours_digest vs $openssl_digest" >&2
    exit 1
fi

read -r ours_wall ours_cpu < <(best "$tool" "$file")
read -r ssl_wall ssl_cpu < <(best openssl dgst -sha256 "$file")
mib_s() { awk -v s="$size_mib" -v t="$1" 'BEGIN { printf "%.1f", s / t }'; }
printf 'file: %d MiB in page cache, digest %s (best of three runs)\n' "$size_mib" "$ours_digest"
printf 'TSha256 helper : %6.3f s wall %7s MiB/s, %6.3f s cpu\n' "$ours_wall" "$(mib_s "$ours_wall")" "$ours_cpu"
printf 'openssl dgst   : %6.3f s wall %7s MiB/s, %6.3f s cpu\n' "$ssl_wall" "$(mib_s "$ssl_wall")" "$ssl_cpu"
printf 'speed ratio helper/openssl: wall %.3f, cpu %.3f (goal >= 0.9)\n' \
    "$(awk -v a="$ssl_wall" -v b="$ours_wall" 'BEGIN { print a / b }')" \
    "$(awk -v a="$ssl_cpu" -v b="$ours_cpu" 'BEGIN { print a / b }')"
