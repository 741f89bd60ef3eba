#!/bin/bash
# Installation of zstd objects against the same installation with stored objects, against nginx
# on 127.0.0.1, same server, same disk, same content: the install of zstd objects should be limited
# by the network and the disk, not by decoding (goal: at least 0.8x the speed of stored objects).
# The content is realistic, not random: the files below /usr/lib and /usr/share as one tar stream,
# cut to SIZE bytes and split into FILES files (so cut into content-defined chunks of 4 to 16 MiB).
# Also reported: the object sizes of both packages, the zstd publishing time, the zstd tool's size
# for the same content at the same level, and the decoding throughput of the zstd objects on one
# thread (bench_container_decode decode-list).
# The machine may be shared: every install time is the best of ROUNDS runs (default 3), the two
# packages taking turns. Installs nginx-light, aria2, curl and zstd with apt-get when missing.
#   BUILD_DIR   build tree (default: build/ of this checkout)
#   SIZE        content bytes (default 384 MiB; shrink it for a quick run); TMPDIR decides where
#   FILES       number of files (default 3)
#   ZSTD_LEVEL  level of the zstd package (default 19, the publishing default)
#   ROUNDS      runs of each install (default 3)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../nginx.sh
source "$root/bench/nginx.sh"
build=${BUILD_DIR:-$root/build}
size=${SIZE:-402653184}
files=${FILES:-3}
level=${ZSTD_LEVEL:-19}
rounds=${ROUNDS:-3}

prepare_peers_and_work_folder zstd

if ! cmake --build "$build" --target bench_install quenmar-pack bench_container_decode >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    exit 1
fi
bench=$build/bench/bench_install
pack=$build/bin/quenmar-pack
decoder=$build/bin/bench_container_decode

py() { python3 -c "print($1)"; }
mib() { py "f'{$1 / 1048576:.1f}'"; }
lower() { py "min($1, $2)"; }
now() { date +%s.%N; }

echo "== source: $size bytes of /usr/lib and /usr/share as a tar stream, in $files files"
mkdir -p "$work/src"
tar -cf - --ignore-failed-read /usr/lib /usr/share 2>/dev/null | head -c "$size" >"$work/content.tar" || true
actual=$(stat -c %s "$work/content.tar")
(cd "$work/src" && split -n "$files" -d "$work/content.tar" part)
rm "$work/content.tar"

# Publishes the source folder as $1 with algorithm $2 at level $3; prints the seconds it took.
publish() {
    local start end
    start=$(now)
    "$pack" build "$work/src" "$work/www/$1" --version 1 --algorithm "$2" --level "$3" --no-executable-bits \
        >"$work/$1.build.log"
    end=$(now)
    py "$end - $start"
    find "$work/www/$1/objects" -type f >"$work/$1.objects"
    # Every install reads the objects from the page cache.
    xargs cat <"$work/$1.objects" >/dev/null
}

# Installs $1 with bench_install into an empty folder and prints its seconds.
install_package() {
    rm -rf "$work/data"
    sync
    "$bench" "$work/www/$1/package.json" "http://127.0.0.1:$port/$1" "$work/data" >"$work/$1.install.log"
    grep '^RESULT' "$work/$1.install.log" | sed 's/.*seconds=\([^ ]*\).*/\1/'
    rm -rf "$work/data"
}

publish stored stored 0 >/dev/null
zstd_publish=$(publish zstd zstd "$level")
stored_bytes=$(du -sb "$work/www/stored/objects" | cut -f1)
zstd_bytes=$(du -sb "$work/www/zstd/objects" | cut -f1)
tool_bytes=$(cat "$work"/src/* | zstd -q -T0 "-$level" -c | wc -c)
echo "stored objects: $(wc -l <"$work/stored.objects"), $stored_bytes bytes"
echo "zstd -$level objects: $(wc -l <"$work/zstd.objects"), $zstd_bytes bytes" \
    "(ratio $(py "f'{$actual / $zstd_bytes:.2f}'"), published in $(py "f'{$zstd_publish:.1f}'") s;" \
    "zstd -$level of the whole content: $tool_bytes bytes)"

read -r decode_seconds decode_bytes decode_count < <("$decoder" decode-list "$work/zstd.objects")
echo "decoding the $decode_count zstd objects on one thread: $(py "f'{$decode_seconds:.2f}'") s," \
    "$(mib "$decode_bytes / $decode_seconds") MiB/s of output"

start_nginx "$nginx_binary" "$work" off
best_stored=1e9 best_zstd=1e9
for round in $(seq "$rounds"); do
    stored_seconds=$(install_package stored)
    zstd_seconds=$(install_package zstd)
    best_stored=$(lower "$best_stored" "$stored_seconds")
    best_zstd=$(lower "$best_zstd" "$zstd_seconds")
    echo "   round $round: stored $stored_seconds s, zstd $zstd_seconds s"
done
echo "install of stored objects: $best_stored s, $(mib "$actual / $best_stored") MiB/s of content"
echo "install of zstd objects:   $best_zstd s, $(mib "$actual / $best_zstd") MiB/s of content"
echo "   zstd / stored speed = $(py "f'{$best_stored / $best_zstd:.2f}'") (goal >= 0.8)"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
