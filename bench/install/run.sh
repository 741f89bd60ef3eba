#!/bin/bash
# Installation throughput against nginx on 127.0.0.1, all in the same run, same server, same disk:
#   1. a package of SIZE bytes in content-defined chunks (4 to 16 MiB, 8 MiB on average) stored
#      without compression (container id 0), installed with bench_install, against
#      `aria2c -j 10` (goal: at least 1.5x its throughput) and
#      `curl --parallel --parallel-max 10` (goal: at least 0.6x its throughput), both downloading
#      the same objects to the same disk;
#   2. the same content as LZMA containers, limited by decoding: against `xz -d` of the same
#      streams on one core (goal: at least 1.6x);
#   3. what the sync before the full marker costs: the stored package installed once more with
#      BENCH_INSTALL_NO_SYNC=1 (no figure to reach, it is reported);
#   4. peak resident memory (VmHWM) of the LZMA installation against
#      (maxConcurrentDownloads x 2 + maxCachedChunks + 1) x the largest chunk + 300 MiB.
# The machine may be shared: every figure is the best of ROUNDS runs (default 3), the contenders
# taking turns. Installs nginx-light, aria2 and curl with apt-get when they are missing.
#   BUILD_DIR  build tree (default: build/ of this checkout)
#   SIZE       package size in bytes (default 2 GiB); TMPDIR decides where the files go
#   LZMA_LEVEL compression level of the LZMA package (default 6)
#   ROUNDS     runs of each contender (default 3); SKIP_LZMA=1 stops after the stored package
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../nginx.sh
source "$root/bench/nginx.sh"
build=${BUILD_DIR:-$root/build}
size=${SIZE:-2147483648}
lzma_level=${LZMA_LEVEL:-6}
rounds=${ROUNDS:-3}
files=4

prepare_peers_and_work_folder

df -h "$work"
need_kib=$(( size * 5 / 1024 ))
free_kib=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
if [ "$free_kib" -lt "$need_kib" ]; then
    echo "not enough space in $work: $free_kib KiB free, $need_kib KiB needed" >&2
    exit 1
fi
if ! cmake --build "$build" --target bench_install quenmar-pack >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    exit 1
fi
bench=$build/bench/bench_install
pack=$build/bin/quenmar-pack

seconds() { date +%s.%N; }
ratio() { python3 -c "print(f'{$1 / $2:.2f}')"; }
mib_per_s() { python3 -c "print(f'{$1 / $2 / 1048576:.1f}')"; }
# Runs "$@" and prints the elapsed seconds.
timed() {
    local start end
    start=$(seconds)
    "$@"
    end=$(seconds)
    python3 -c "print($end - $start)"
}
lower() { python3 -c "print(min($1, $2))"; }

# The web server: its own configuration, a free port, the published folder as its root.
start_nginx "$nginx_binary" "$work" off

# Publishes the source folder as $1 and writes the object URLs and paths next to it.
publish() {
    local name=$1 algorithm=$2 level=$3
    "$pack" build "$work/src" "$work/www/$name" --version 1 --algorithm "$algorithm" --level "$level" \
        --no-executable-bits >"$work/$name.build.log"
    python3 - "$work/www/$name/package.json" "http://127.0.0.1:$port/$name" "$work/$name" <<'PY'
import json, sys
document = json.load(open(sys.argv[1]))
objects = sorted({c["url"] for c in document["chunks"]} |
                 {f["url"] for f in document["files"] if f.get("url")})
with open(sys.argv[3] + ".urls", "w") as urls, open(sys.argv[3] + ".curl", "w") as curl, \
        open(sys.argv[3] + ".objects", "w") as paths:
    for index, url in enumerate(objects):
        urls.write(f"{sys.argv[2]}/{url}\n")
        curl.write(f'url = "{sys.argv[2]}/{url}"\noutput = "o{index}"\n')
        paths.write(url + "\n")
PY
    # Every client reads the objects from the page cache.
    (cd "$work/www/$name" && xargs cat <"$work/$name.objects" >/dev/null)
}

# Installs $1 with bench_install into an empty folder; leaves seconds, peak memory and its bound
# in globals.
install_package() {
    local name=$1
    rm -rf "$work/data"
    sync
    "$bench" "$work/www/$name/package.json" "http://127.0.0.1:$port/$name" "$work/data" >"$work/$name.install.log"
    local result
    result=$(grep '^RESULT' "$work/$name.install.log")
    install_seconds=$(sed 's/.*seconds=\([^ ]*\).*/\1/' <<<"$result")
    install_peak=$(sed 's/.*peak=\([^ ]*\).*/\1/' <<<"$result")
    install_bound=$(sed 's/.*bound=\([^ ]*\).*/\1/' <<<"$result")
    rm -rf "$work/data"
}

run_aria2() {
    rm -rf "$work/aria2" && mkdir -p "$work/aria2" && sync
    timed aria2c -q -j 10 -d "$work/aria2" -i "$work/stored.urls"
    rm -rf "$work/aria2"
}

run_curl() {
    rm -rf "$work/curl" && mkdir -p "$work/curl" && sync
    (cd "$work/curl" && timed curl -s --no-progress-meter --parallel --parallel-max 10 -K "$work/stored.curl")
    rm -rf "$work/curl"
}

echo "== source: $files files, $size bytes in total"
mkdir -p "$work/src"
for index in $(seq 1 $files); do
    head -c $((size / files)) /dev/urandom >"$work/src/file$index.bin"
done
publish stored stored 0
objects=$(wc -l <"$work/stored.urls")
echo "== stored package: $objects objects"

best_ours=1e9 best_aria=1e9 best_curl=1e9 best_unsynced=1e9
for round in $(seq "$rounds"); do
    BENCH_INSTALL_NO_SYNC=1 install_package stored
    best_unsynced=$(lower "$best_unsynced" "$install_seconds")
    unsynced_seconds=$install_seconds
    install_package stored
    best_ours=$(lower "$best_ours" "$install_seconds")
    best_aria=$(lower "$best_aria" "$(run_aria2)")
    best_curl=$(lower "$best_curl" "$(run_curl)")
    echo "   round $round: bench_install $install_seconds s (without sync $unsynced_seconds s)," \
        "peak $(mib_per_s "$install_peak" 1) MiB"
done
ours=$(mib_per_s "$size" "$best_ours")
echo "bench_install without sync:        $(mib_per_s "$size" "$best_unsynced") MiB/s" \
    "(the sync adds $(python3 -c "print(f'{$best_ours - $best_unsynced:.2f}')") s)"
aria=$(mib_per_s "$size" "$best_aria")
curl_rate=$(mib_per_s "$size" "$best_curl")
echo "bench_install:                     $ours MiB/s"
echo "aria2c -j 10:                      $aria MiB/s"
echo "curl --parallel --parallel-max 10: $curl_rate MiB/s"
echo "   bench_install / aria2c = $(ratio "$ours" "$aria") (goal >= 1.5)"
echo "   bench_install / curl   = $(ratio "$ours" "$curl_rate") (goal >= 0.6)"
rm -rf "$work/www/stored"
if [ "${SKIP_LZMA:-0}" = 1 ]; then
    exit 0
fi

echo "== LZMA package (level $lzma_level)"
# Compressible content: base64 text of random bytes, about 4:3 in LZMA.
rm -rf "$work/src" && mkdir -p "$work/src"
for index in $(seq 1 $files); do
    head -c $((size / files * 3 / 4)) /dev/urandom | base64 -w 0 >"$work/src/file$index.txt"
done
lzma_size=$(du -sb "$work/src" | cut -f1)
publish lzma lzma "$lzma_level"
echo "$(wc -l <"$work/lzma.urls") objects, $(du -sb "$work/www/lzma/objects" | cut -f1) bytes published"

# The bare LZMA streams of the containers (magic, id, two sizes stripped), for xz.
mkdir -p "$work/streams"
python3 - "$work/www/lzma" "$work/lzma.objects" "$work/streams" <<'PY'
import os, sys
def varint(data, position):
    value, shift = 0, 0
    while True:
        byte = data[position]; position += 1
        value |= (byte & 0x7F) << shift; shift += 7
        if not byte & 0x80:
            return value, position
for index, name in enumerate(open(sys.argv[2]).read().split()):
    data = open(os.path.join(sys.argv[1], name), "rb").read()
    position = 0
    while data[position] == 0:
        position += 1
    assert data[position] == 0x70 and data[position + 1] in (5, 10), name
    _, position = varint(data, position + 2)
    packed, position = varint(data, position)
    open(os.path.join(sys.argv[3], f"s{index:05}.lzma"), "wb").write(data[position:position + packed])
PY
decode_all() {
    for stream in "$work"/streams/*.lzma; do
        xz --format=lzma -dc "$stream"
    done >/dev/null
}
best_xz=1e9 best_ours=1e9 peak=0
for round in $(seq "$rounds"); do
    best_xz=$(lower "$best_xz" "$(timed decode_all)")
    install_package lzma
    best_ours=$(lower "$best_ours" "$install_seconds")
    peak=$(python3 -c "print(max($peak, $install_peak))")
    echo "   round $round: bench_install $install_seconds s, peak $(mib_per_s "$install_peak" 1) MiB"
done
xz_rate=$(mib_per_s "$lzma_size" "$best_xz")
ours_lzma=$(mib_per_s "$lzma_size" "$best_ours")
echo "xz -d (one core): $xz_rate MiB/s"
echo "bench_install:    $ours_lzma MiB/s"
echo "   bench_install / xz -d = $(ratio "$ours_lzma" "$xz_rate") (goal >= 1.6)"
echo "   peak resident memory $(mib_per_s "$peak" 1) MiB, bound $(mib_per_s "$install_bound" 1) MiB"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -rf "$work/streams"
