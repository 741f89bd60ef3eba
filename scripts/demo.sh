#!/usr/bin/env bash
# The launcher's main job, end to end, on this machine:
#  1. installs what is missing and builds (as scripts/test.sh does);
#  2. generates a demo game (a few hundred MB in several files plus a small client program)
#     and publishes it with quenmar-pack as a static tree of content-addressed objects;
#  3. serves that tree with a plain HTTP server on 127.0.0.1;
#  4. runs the launcher with --first-launch against it (under Xvfb when there is no display,
#     saving screenshots): it installs the game and starts the client.
# Run it again to publish the next version of the game, in which one large file changed in
# one place, and to see that the update downloads only what changed.
#
# Environment: QUENMAR_DEMO_DIR (default build/demo), QUENMAR_DEMO_SCALE (data size factor,
# default 1), QUENMAR_DEMO_RESET=1 (start again from version 1).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

scripts/build.sh

demo=$(realpath -m "${QUENMAR_DEMO_DIR:-build/demo}")
scale=${QUENMAR_DEMO_SCALE:-1}
if [ "${QUENMAR_DEMO_RESET:-0}" = 1 ]; then
    rm -rf "$demo"
fi
mkdir -p "$demo/www/launcher" "$demo/screenshots" "$demo/home" "$demo/launcher"

previous=$(cat "$demo/published-version" 2>/dev/null || echo 0)
version=$((previous + 1))
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
base="http://127.0.0.1:$port"

echo "== Publishing demo game version $version"
source_dir="$demo/game-v$version"
rm -rf "$source_dir"
python3 scripts/demo/make_game.py "$source_dir" --version "$version" --scale "$scale"
cat > "$demo/www/hints.json" <<JSON
[
  {"title": "Welcome", "category": "cat1", "richText": "<b>Welcome to Quenmar Online!</b><br>This demo installs a generated game from a local server.", "url": "$base/"},
  {"title": "Patch notes", "category": "cat2", "richText": "<b>Version $version</b><br>The bridge of Elmsreach has been rebuilt.", "url": "$base/"},
  {"title": "Tip", "category": "cat3", "richText": "<b>Tip:</b> right-click an installed game to verify its files.", "url": "$base/"}
]
JSON
build/bin/quenmar-pack build "$source_dir" "$demo/www/launcher/quenmar-online" \
    --version "1.$version" --executable bin/quenmar-client \
    --parameter --realm=demo --parameter "--window-title=Quenmar Online" \
    --generation second --variant regular \
    --algorithm deflate --level 1 --chunk-threshold 8M \
    --main-config "$demo/www/launcher/brlmetadata.json" \
    --name "Quenmar Online" --directory-name QuenmarOnline --install-automatically true \
    --hints-url "$base/hints.json"
echo "$version" > "$demo/published-version"
rm -rf "$demo/game-v$previous"

echo "== Serving $demo/www on $base"
server_log="$demo/server-v$version.log"
: > "$server_log"
python3 scripts/demo/serve.py --root "$demo/www" --port "$port" --log "$server_log" &
server_pid=$!
trap 'kill $server_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    python3 -c "import urllib.request; urllib.request.urlopen('$base/launcher/brlmetadata.json')" 2>/dev/null && break
    sleep 0.1
done
: > "$server_log"

# The launcher reads launchersettings.ini from next to its executable.
cp build/bin/quenmar-launcher "$demo/launcher/"
cp build/bin/launcher.en.qm "$demo/launcher/" 2>/dev/null || true
printf '[URLS]\r\nlauncherConfiguration=%s/launcher/brlmetadata.json\r\ncdnDiagnosticsTrace=\r\nappendNocacheToPackageUrls=false\r\n\r\n[DIRECTORIES]\r\npackages=packages\r\nsettingsTarget=QuenmarOnlineClient_Data/Data/Settings\r\n\r\n[FILES]\r\npackageFile=package.json\r\npartialPackageFile=partial-package.json\r\nassetFile=assets.json\r\naccountGroupFile=accountgroup.json\r\n\r\n[TIMING]\r\nwaitNotificationTimeout=500\r\ndownloadErrorTimeout=10000\r\nclientStartTimeout=30000\r\n\r\n' "$base" > "$demo/launcher/launchersettings.ini"

export HOME="$demo/home"
export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache"
export QUENMAR_DEMO_CLIENT_REPORT="$demo/client-started.txt"
rm -f "$QUENMAR_DEMO_CLIENT_REPORT"

# The runner is a script file (not a shell function) because xvfb-run goes through /bin/sh.
runner="$demo/run-launcher.sh"
cat > "$runner" <<'RUNNER'
#!/usr/bin/env bash
# Runs the launcher and takes a screenshot of the display every 0.4 seconds while it runs.
"$1/launcher/quenmar-launcher" --first-launch &
pid=$!
shot=0
while kill -0 "$pid" 2>/dev/null; do
    sleep 0.4
    # A shot after the window closed would show an empty display.
    kill -0 "$pid" 2>/dev/null || break
    shot=$((shot + 1))
    import -window root "$1/screenshots/v$2-$(printf %02d $shot).png" 2>/dev/null || true
done
wait "$pid"
RUNNER
chmod +x "$runner"
rm -f "$demo/screenshots/v$version-"*.png

echo "== Running the launcher (--first-launch)"
set +e
if [ -n "${DISPLAY:-}" ]; then
    "$runner" "$demo" "$version"
else
    xvfb-run -a -s "-screen 0 1024x700x24" "$runner" "$demo" "$version"
fi
status=$?
set -e
echo "launcher exit code: $status"

# Let the detached client write its report.
for _ in $(seq 50); do [ -s "$QUENMAR_DEMO_CLIENT_REPORT" ] && break; sleep 0.1; done
echo "== Client"
cat "$QUENMAR_DEMO_CLIENT_REPORT" 2>/dev/null || echo "the client was not started"

echo "== Download summary"
python3 - "$server_log" "$demo/www/launcher/quenmar-online/package.json" <<'PY'
import json, sys
log, package = sys.argv[1], sys.argv[2]
requests = [line.split(" ", 2) for line in open(log, encoding="utf-8") if line.strip()]
objects = [(int(size), path) for status, size, path in requests if "/objects/" in path and status == "200"]
doc = json.load(open(package, encoding="utf-8"))
urls = {}
for entry in doc.get("chunks", []) + doc.get("files", []):
    if entry.get("url"):
        urls[entry["url"]] = entry.get("packedsize", 0)
total = sum(urls.values())
got = sum(size for size, _ in objects)
print(f"objects downloaded: {len(objects)} of {len(urls)}, {got / 2**20:.1f} MiB of the package's {total / 2**20:.1f} MiB")
PY
installed="$XDG_DATA_HOME/Brelmor GmbH/Quenmar Online/packages/QuenmarOnline"
echo "installed into: $installed"
echo "launcher log: $XDG_DATA_HOME/Brelmor GmbH/Quenmar Online/quenmar-launcher.log"
shots=$(find "$demo/screenshots" -name "v$version-*.png" | sort | tail -n 3)
if [ -n "$shots" ]; then
    sed 's|^|screenshot: |' <<<"$shots"
else
    echo "screenshot: none (the launcher was done within 0.4 seconds)"
fi
echo "Run scripts/demo.sh again to publish version $((version + 1)) and update to it."
exit "$status"
