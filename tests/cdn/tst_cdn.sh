#!/usr/bin/env bash
# A published game served the way docs/serving.md recommends: an origin nginx with the shipped
# server block (docs/nginx/quenmar-content.conf) and a caching nginx edge in front of it
# (docs/nginx/edge-cache-example.conf), both on 127.0.0.1 without root. Two players install the
# game through the edge with the real launcher; the test checks that both installs match the
# source, that every object reached the origin once over both installs (the second player's came
# from the edge's cache), that the documents reached the origin on every install, and the
# caching headers of the origin.
#   tst_cdn.sh BUILD_DIR
# Exit code 77 (skipped) when nginx is not installed.
set -euo pipefail

build=$(cd "$1" && pwd)
source_root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/lib/nginx.sh
source "$source_root/scripts/lib/nginx.sh"

require_nginx

work=$(mktemp -d)
chmod 755 "$work"
origin_pid=""
edge_pid=""
finish() {
    local status=$?
    stop_nginx_pid "$edge_pid"
    stop_nginx_pid "$origin_pid"
    if [ "$status" -ne 0 ]; then
        for log in "$work"/origin/error.log "$work"/edge/error.log "$work"/player-*/data/*/*/quenmar-launcher.log; do
            [ -f "$log" ] && { echo "--- $log"; tail -n 40 "$log"; }
        done
    fi
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 143' TERM INT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The game: a small client program, a few dozen small files (one empty, two with the same
# content, so one object serves both) and one file large enough to be cut into chunks.
python3 - "$work/game" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(14)
def write(path, data, mode=0o644):
    path = os.path.join(root, path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, mode)
write("bin/client", b"#!/bin/sh\nexit 0\n", 0o755)
for index in range(36):
    write(f"data/{index % 4}/part-{index:02}.bin", rng.randbytes(rng.randrange(1, 40000)))
write("data/empty.txt", b"")
write("data/copy-a.txt", b"the same content twice\n" * 100)
write("data/copy-b.txt", b"the same content twice\n" * 100)
write("world/terrain.pak", rng.randbytes(20 * 1024 * 1024))
PY

www=$work/www
"$build/bin/quenmar-pack" build "$work/game" "$www/quenmar/online" --version 1.0 --executable bin/client \
    --algorithm deflate --level 1 --chunk-threshold 1M \
    --main-config "$www/quenmar/brlmetadata.json" --name "Quenmar Online" --directory-name QuenmarOnline \
    --install-automatically true >"$work/pack.log"

# The origin: the shipped server block with this test's address and tree.
origin_port=$(free_local_port)
mkdir -p "$work/origin"
sed -e "s|listen 80;|listen 127.0.0.1:$origin_port;|" -e "s|root /srv/quenmar/content;|root $www;|" \
    "$source_root/docs/nginx/quenmar-content.conf" >"$work/origin/quenmar-content.conf"
write_nginx_config "$work/origin" "$work/origin/access.log origin" <<EOF
include /etc/nginx/mime.types;
log_format origin '\$status \$request_method \$request_uri';
include $work/origin/quenmar-content.conf;
EOF
launch_nginx "$nginx_binary" "$work/origin" "$origin_port"
origin_pid=$launched_nginx_pid

# The edge: the example caching proxy, its cache in the work folder.
edge_port=$(free_local_port)
mkdir -p "$work/edge"
sed -e "s|listen 80;|listen 127.0.0.1:$edge_port;|" -e "s|/var/cache/nginx/quenmar|$work/edge/cache|" \
    -e "s|proxy_pass http://content.example.org;|proxy_pass http://127.0.0.1:$origin_port;|" \
    "$source_root/docs/nginx/edge-cache-example.conf" >"$work/edge/edge-cache.conf"
write_nginx_config "$work/edge" "$work/edge/access.log edge" <<EOF
log_format edge '\$upstream_cache_status \$status \$request_uri';
include $work/edge/edge-cache.conf;
EOF
launch_nginx "$nginx_binary" "$work/edge" "$edge_port"
edge_pid=$launched_nginx_pid

# One player: a copy of the launcher in a sandbox of its own whose settings point at the edge,
# run with --first-launch until it has installed the game and started its client.
install_as_player() {
    local player=$work/player-$1
    mkdir -p "$player"/{home,data,config,cache,runtime,tmp,program}
    chmod 700 "$player/runtime"
    cp "$build/bin/quenmar-launcher" "$player/program/"
    printf '[URLS]\r\nlauncherConfiguration=http://127.0.0.1:%s/quenmar/brlmetadata.json\r\ncdnDiagnosticsTrace=\r\nappendNocacheToPackageUrls=false\r\n\r\n[DIRECTORIES]\r\npackages=packages\r\nsettingsTarget=QuenmarOnlineClient_Data/Data/Settings\r\n\r\n[FILES]\r\npackageFile=package.json\r\npartialPackageFile=partial-package.json\r\nassetFile=assets.json\r\naccountGroupFile=accountgroup.json\r\n\r\n[TIMING]\r\nwaitNotificationTimeout=500\r\ndownloadErrorTimeout=30000\r\nclientStartTimeout=30000\r\n\r\n' \
        "$edge_port" >"$player/program/launchersettings.ini"
    local status=0
    HOME=$player/home XDG_DATA_HOME=$player/data XDG_CONFIG_HOME=$player/config XDG_CACHE_HOME=$player/cache \
        XDG_RUNTIME_DIR=$player/runtime TMPDIR=$player/tmp QT_QPA_PLATFORM=offscreen QUENMAR_NONINTERACTIVE=1 \
        timeout 240 "$player/program/quenmar-launcher" --first-launch >"$player/output.txt" 2>&1 || status=$?
    [ "$status" -eq 0 ] || { cat "$player/output.txt" >&2; fail "player $1: the launcher ended with $status"; }
    local installed="$player/data/Brelmor GmbH/Quenmar Online/packages/QuenmarOnline"
    python3 - "$work/game" "$installed" <<'PY' || fail "player $1: the installation differs from the source"
import filecmp, os, sys
source, installed = sys.argv[1], sys.argv[2]
differing = []
for folder, _, names in os.walk(source):
    for name in names:
        relative = os.path.relpath(os.path.join(folder, name), source)
        target = os.path.join(installed, relative)
        if not os.path.isfile(target) or not filecmp.cmp(os.path.join(source, relative), target, shallow=False):
            differing.append(relative)
sys.exit("\n".join(differing) or None)
PY
}

install_as_player 1
origin_lines_after_first=$(wc -l <"$work/origin/access.log")
edge_lines_after_first=$(wc -l <"$work/edge/access.log")
install_as_player 2

# Requests as the servers logged them, checked against the objects the package document names.
python3 - "$www/quenmar/online/package.json" "$work/origin/access.log" "$origin_lines_after_first" \
    "$work/edge/access.log" "$edge_lines_after_first" <<'PY' || fail "the requests the servers logged"
import json, sys
from collections import Counter
package, origin_log, origin_split, edge_log, edge_split = sys.argv[1:]
document = json.load(open(package))
objects = {"/quenmar/online/" + entry["url"] for entry in document["chunks"] + document["files"] if entry.get("url")}
documents = {"/quenmar/brlmetadata.json", "/quenmar/online/package.json"}
origin = [line.split() for line in open(origin_log)]
edge = [line.split() for line in open(edge_log)]
problems = []
# Each object once at the origin over both installs, with 200.
counts = Counter(uri for _, _, uri in origin if uri in objects)
problems += [f"origin: {uri} requested {counts[uri]} times" for uri in sorted(objects) if counts[uri] != 1]
problems += [f"origin: {' '.join(line)}" for line in origin if line[0] != "200" and line[2] in objects]
# The second install: its objects were all hits at the edge, and its documents went to the origin.
second_edge = edge[int(edge_split):]
second_objects = {uri for _, _, uri in second_edge if uri in objects}
if not second_objects:
    problems.append("edge: the second install asked for no object")
problems += [f"edge, second install: {' '.join(line)}" for line in second_edge if line[2] in objects and line[0] != "HIT"]
second_origin = Counter(uri for status, _, uri in origin[int(origin_split):] if status in ("200", "304"))
problems += [f"origin, second install: {uri} not revalidated" for uri in sorted(documents) if second_origin[uri] < 1]
problems += [f"edge, second install: {' '.join(line)} from the cache" for line in second_edge
             if line[2] in documents and line[0] == "HIT"]
print(f"{len(objects)} objects, {len(origin)} requests at the origin, {len(edge)} at the edge")
sys.exit("\n".join(problems) or None)
PY

# The origin's headers: objects cacheable for a year, documents revalidated with validators.
python3 - "http://127.0.0.1:$origin_port" "$www/quenmar/online/package.json" <<'PY' || fail "the origin's headers"
import json, sys, urllib.error, urllib.request
base, package = sys.argv[1], sys.argv[2]
some_object = "/quenmar/online/" + json.load(open(package))["chunks"][0]["url"]
def get(path, headers={}):
    try:
        with urllib.request.urlopen(urllib.request.Request(base + path, headers=headers)) as response:
            return response.status, response.headers
    except urllib.error.HTTPError as error:
        return error.code, error.headers
expected = [
    (some_object, {}, 200, "public, max-age=31536000, immutable", "application/octet-stream"),
    ("/quenmar/online/package.json", {}, 200, "no-cache", "application/json"),
    ("/quenmar/brlmetadata.json", {}, 200, "no-cache", "application/json"),
    ("/quenmar/online/missing.json", {}, 404, "no-cache", None),
    ("/quenmar/online/objects/00/" + "0" * 64, {}, 404, "no-cache", None),
]
problems = []
for path, headers, status, cache_control, content_type in expected:
    got_status, got = get(path, headers)
    seen = (got_status, got.get("Cache-Control"), got.get("Content-Type") if content_type else None)
    if seen != (status, cache_control, content_type):
        problems.append(f"{path}: {seen}, expected {(status, cache_control, content_type)}")
# A document asked again with its validator is a 304.
_, first = get("/quenmar/online/package.json")
status, _ = get("/quenmar/online/package.json", {"If-None-Match": first.get("ETag", "")})
if not first.get("ETag") or status != 304:
    problems.append(f"package.json: ETag {first.get('ETag')!r}, conditional request gave {status}")
sys.exit("\n".join(problems) or None)
PY

echo "PASS"
