#!/bin/bash
# Many small files, against nginx on 127.0.0.1, all in the same run, same server, same disk:
#   1. publishing: `quenmar-pack build` (default algorithm) of COUNT files of 1 to 16 KiB plus
#      LARGE files of 100 KiB to 1 MiB, against xz -6 compressing the same files one by one, once
#      as `xz -T0 -6` (one process) and once as two `xz -6` processes side by side (both cores);
#      goal: within 1.5x the better of the two;
#   2. installation of the published package with bench_install (the launcher's installation
#      manager), against `curl --parallel --parallel-max 10` (goal: at most 2x its time) and
#      `aria2c -j 10` (goal: at least 3x faster), both fetching the same objects to the same disk;
#      with the peak resident memory (VmHWM) against 3x the package document + 150 MiB and the
#      size of the launcher's log; with the largest lateness of a 100 ms timer on the main thread
#      (lag_ms, goal: at most 250 ms) and the time from the start of the download step until the
#      pool held every request (queued_s, goal: at most 1 s), both the worst of the rounds;
#      with a compressing algorithm also the CPU time of decoding every object once on one thread,
#      which the peers don't do: half of it is the least a two-core install can take beyond them;
#   3. the start with the package installed and up to date (goal: under 2 s);
#   4. an update that changes one file: the objects fetched (goal: one) and the time (goal: under
#      3 s).
# The machine may be shared: every time is the best of ROUNDS runs (default 3), the contenders
# taking turns. Installs nginx-light, aria2, curl and xz-utils with apt-get when they are missing.
#   BUILD_DIR  build tree (default: build/ of this checkout)
#   COUNT      number of small files (default 20000; 10000, 50000, 100000 for the growth)
#   LARGE      number of large files (default 3)
#   ALGORITHM  algorithm of the installed package (default: quenmar-pack's default, lzma)
#   ROUNDS     runs of each contender (default 3); SKIP_PUBLISH=1 leaves out the publishing peers
# TMPDIR decides where the files go.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=../nginx.sh
source "$root/bench/nginx.sh"
build=${BUILD_DIR:-$root/build}
count=${COUNT:-20000}
large=${LARGE:-3}
algorithm=${ALGORITHM:-lzma}
rounds=${ROUNDS:-3}

prepare_peers_and_work_folder python3

if ! cmake --build "$build" --target bench_install quenmar-pack bench_container_decode >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    exit 1
fi
bench=$build/bench/bench_install
pack=$build/bin/quenmar-pack

ratio() { python3 -c "print(f'{$1 / $2:.2f}')"; }
lower() { python3 -c "print(min($1, $2))"; }
mib() { python3 -c "print(f'{$1 / 1048576:.1f}')"; }
# Runs "$@" with its output to /dev/null and prints "<wall seconds> <CPU seconds of user and
# system>" of it and its children.
measured() {
    python3 - "$@" <<'PY'
import resource, subprocess, sys, time
start = time.monotonic()
subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL)
wall = time.monotonic() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print(f"{wall:.3f} {usage.ru_utime + usage.ru_stime:.3f}")
PY
}

# The web server: its own configuration, a free port, the published folder as its root. Every
# request goes to the access log, which counts the objects an update fetches.
start_nginx "$nginx_binary" "$work" "$work/nginx/access.log"
requests() { wc -l <"$work/nginx/access.log"; }

echo "== source: $count files of 1 to 16 KiB and $large of 100 KiB to 1 MiB"
python3 "$here/generate.py" "$work/src" "$count" "$large"
echo "$(du -sb "$work/src" | cut -f1) bytes"
# Source file paths for xz, relative to the source folder.
(cd "$work/src" && find . -type f -print0) >"$work/src.list"

# Publishes the source folder as www/pkg with the algorithm $1 and version $2.
publish() {
    "$pack" build "$work/src" "$work/www/pkg" --version "$2" --algorithm "$1" --no-executable-bits >/dev/null
}

if [ "${SKIP_PUBLISH:-0}" != 1 ]; then
    echo "== publishing"
    xz_one() { (cd "$work/src" && xargs -0 xz -T0 -6 -k -f <"$work/src.list"); }
    xz_two() { (cd "$work/src" && xargs -0 -P 2 -n 200 xz -6 -k -f <"$work/src.list"); }
    drop_xz() { find "$work/src" -name '*.xz' -delete; }
    export -f xz_one xz_two
    export work
    best_pack=1e9 best_one=1e9 best_two=1e9
    for round in $(seq "$rounds"); do
        rm -rf "$work/www/pkg" && sync
        read -r pack_wall pack_cpu < <(measured "$pack" build "$work/src" "$work/www/pkg" --version 1 --no-executable-bits)
        sync
        read -r one_wall one_cpu < <(measured bash -c xz_one)
        drop_xz && sync
        read -r two_wall two_cpu < <(measured bash -c xz_two)
        drop_xz
        best_pack=$(lower "$best_pack" "$pack_wall")
        best_one=$(lower "$best_one" "$one_wall")
        best_two=$(lower "$best_two" "$two_wall")
        echo "   round $round: quenmar-pack $pack_wall s (CPU $pack_cpu s)," \
            "xz -T0 -6 $one_wall s (CPU $one_cpu s), 2 x xz -6 $two_wall s (CPU $two_cpu s)"
    done
    best_peer=$(lower "$best_one" "$best_two")
    echo "quenmar-pack build:  $best_pack s"
    echo "xz -T0 -6:           $best_one s"
    echo "2 x xz -6 (xargs):   $best_two s"
    echo "   quenmar-pack / best xz = $(ratio "$best_pack" "$best_peer") (goal <= 1.5)"
fi

rm -rf "$work/www/pkg"
publish "$algorithm" 1
document_size=$(stat -c %s "$work/www/pkg/package.json")
python3 - "$work/www/pkg/package.json" "http://127.0.0.1:$port/pkg" "$work/pkg" <<'PY'
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
objects=$(wc -l <"$work/pkg.urls")
echo "== installation: $objects objects ($algorithm), $(du -sb "$work/www/pkg/objects" | cut -f1) bytes," \
    "package document $document_size bytes"
# Every client reads the objects from the page cache.
(cd "$work/www/pkg" && xargs cat <"$work/pkg.objects" >/dev/null)

# Runs bench_install for the package document $1 into data/ with the log in log/; leaves the
# seconds and the peak memory in globals.
run_bench_install() {
    rm -rf "$work/log"
    if ! BENCH_INSTALL_LOG_FOLDER=$work/log "$bench" "$1" "http://127.0.0.1:$port/pkg" "$work/data" \
        >"$work/install.out"; then
        cat "$work/install.out" >&2
        exit 1
    fi
    local result
    result=$(grep '^RESULT' "$work/install.out")
    install_seconds=$(sed 's/.*seconds=\([^ ]*\).*/\1/' <<<"$result")
    install_peak=$(sed 's/.*peak=\([^ ]*\).*/\1/' <<<"$result")
    install_lag=$(sed 's/.*lag_ms=\([^ ]*\).*/\1/' <<<"$result")
    install_queued=$(sed 's/.*queued_s=\([^ ]*\).*/\1/' <<<"$result")
}

run_aria2() {
    rm -rf "$work/aria2" && mkdir -p "$work/aria2" && sync
    read -r wall _ < <(measured aria2c -q -j 10 -d "$work/aria2" -i "$work/pkg.urls")
    echo "$wall"
    rm -rf "$work/aria2"
}

run_curl() {
    rm -rf "$work/curl" && mkdir -p "$work/curl" && sync
    read -r wall _ < <(cd "$work/curl" && measured curl -s --no-progress-meter --parallel --parallel-max 10 -K "$work/pkg.curl")
    echo "$wall"
    rm -rf "$work/curl"
}

best_ours=1e9 best_aria=1e9 best_curl=1e9 peak=0 lag=0 queued=0
for round in $(seq "$rounds"); do
    rm -rf "$work/data" && sync
    run_bench_install "$work/www/pkg/package.json"
    best_ours=$(lower "$best_ours" "$install_seconds")
    peak=$(python3 -c "print(max($peak, $install_peak))")
    lag=$(python3 -c "print(max($lag, $install_lag))")
    queued=$(python3 -c "print(max($queued, $install_queued))")
    best_aria=$(lower "$best_aria" "$(run_aria2)")
    best_curl=$(lower "$best_curl" "$(run_curl)")
    echo "   round $round: bench_install $install_seconds s, peak $(mib "$install_peak") MiB," \
        "lag $install_lag ms, queued after $install_queued s"
done
log_size=$(stat -c %s "$work/log/bench_install.log")
echo "bench_install:                     $best_ours s"
echo "curl --parallel --parallel-max 10: $best_curl s"
echo "aria2c -j 10:                      $best_aria s"
echo "   bench_install / curl   = $(ratio "$best_ours" "$best_curl") (goal <= 2)"
echo "   aria2c / bench_install = $(ratio "$best_aria" "$best_ours") (goal >= 3)"
echo "   peak resident memory $(mib "$peak") MiB, bound $(mib "$((document_size * 3 + 150 * 1048576))") MiB" \
    "(3 x document + 150 MiB)"
echo "   main thread: lag_ms=$lag (goal <= 250), queued_s=$queued (goal <= 1)"
echo "   log of one installation: $log_size bytes, $(wc -l <"$work/log/bench_install.log") lines"
if [ "$algorithm" != stored ]; then
    read -r decode_seconds _ < <(cd "$work/www/pkg" && "$build/bin/bench_container_decode" decode-list "$work/pkg.objects")
    echo "   decoding every object once ($algorithm, one thread): $decode_seconds s;" \
        "on two cores at least $(python3 -c "print(f'{$decode_seconds / 2:.2f}')") s of any install"
fi

echo "== up-to-date start (installed by the last round)"
best_start=1e9
for round in $(seq "$rounds"); do
    run_bench_install "$work/www/pkg/package.json"
    grep -q '^up to date' "$work/install.out" || { echo "the package was not up to date" >&2; exit 1; }
    best_start=$(lower "$best_start" "$install_seconds")
done
echo "up-to-date start: $best_start s (goal < 2)"

echo "== update changing one file"
changed=$(find "$work/src/data" -type f | sort | sed -n 1p)
printf 'changed' >>"$changed"
publish "$algorithm" 2
before=$(requests)
run_bench_install "$work/www/pkg/package.json"
fetched=$(tail -n +"$((before + 1))" "$work/nginx/access.log" | grep -c '"GET /pkg/objects/' || true)
echo "update: $install_seconds s (goal < 3), $fetched objects fetched (goal 1)"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
