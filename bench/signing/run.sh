#!/bin/bash
# Start of the launcher with and without trusted keys, against the same local server and the
# same signed main configuration (one client package, pinned; the signature made with openssl):
# from process start to the log line "cleanupOldLauncherVersion" (main and package configurations
# loaded and, with keys, the signature and pins checked). Every figure is the best of ROUNDS runs
# (default 7), the two sides taking turns, each run in a fresh sandbox.
#   BUILD_DIR  build tree (default: build/ of this checkout)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${BUILD_DIR:-$root/build}" && pwd)
rounds=${ROUNDS:-7}
# shellcheck source=../../tests/bundleselfupdate/lib.sh
source "$root/tests/bundleselfupdate/lib.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-signing.XXXXXX")
programs=()
finish() {
    local program
    for program in "${programs[@]}"; do stop_launchers "$program"; done
    stop_processes /nonexistent
    rm -rf "$work"
}
trap finish EXIT

# A client of a few files, published with its pins and a serial, and signed.
mkdir -p "$work/source/bin" "$work/source/data"
printf '#!/bin/sh\n' >"$work/source/bin/client" && chmod +x "$work/source/bin/client"
head -c 4194304 /dev/urandom >"$work/source/data/world.pak"
main=$work/www/launcher/brlmetadata.json
"$build/bin/quenmar-pack" build "$work/source" "$work/www/launcher/client" --main-config "$main" \
    --executable bin/client --name Client --directory-name client >/dev/null
python3 - "$main" "$work/www/launcher/client/package.json" <<'PY'
import hashlib, json, sys
main, package = sys.argv[1], sys.argv[2]
document = json.load(open(main))
pin = hashlib.sha256(open(package, "rb").read()).hexdigest()
for entry in document["packages"]:
    for build in entry["builds"]:
        build["sha256"] = pin
document["serial"] = 1
json.dump(document, open(main, "w"), indent=4)
PY
openssl genpkey -algorithm ed25519 -out "$work/signing.key" 2>/dev/null
public_key=$(openssl pkey -in "$work/signing.key" -pubout -outform DER | tail -c 32 | base64 -w0)
openssl pkeyutl -sign -inkey "$work/signing.key" -rawin -in "$main" | base64 -w0 >"$main.sig"
echo >>"$main.sig"

start_server "$work/www"
url="http://127.0.0.1:$port/launcher/brlmetadata.json"

# Prepares round folder Name with the build tree's binary and settings with or without the key;
# prints the program path.
prepare() {
    local name=$1 keys=$2 prog
    use_sandbox "$work/$name"
    prog=$(program_dir)
    mkdir -p "$prog"
    cp "$build/bin/quenmar-launcher" "$prog/"
    write_settings "$prog/launchersettings.ini" "$url"
    if [ "$keys" = signed ]; then printf '\r\n[SECURITY]\r\npublicKeys=%s\r\n' "$public_key" >>"$prog/launchersettings.ini"; fi
    echo "$prog/quenmar-launcher"
}

# Seconds from the start of Program to its log line "cleanupOldLauncherVersion"; a run that
# refused its configuration is no start.
measure() {
    local seconds
    seconds=$(seconds_until_logged "$1" cleanupOldLauncherVersion 120)
    grep -q 'refused\|failed' "$(log_file)" && fail "the $1 run refused its configuration: $(cat "$(log_file)")"
    stop_launchers "$1"
    echo "$seconds"
}

declare -A times
for round in $(seq "$rounds"); do
    for keys in unsigned signed; do
        program=$(prepare "$round-$keys" "$keys")
        programs+=("$program")
        use_sandbox "$work/$round-$keys"
        times[$keys]+=" $(measure "$program")"
    done
done
# shellcheck disable=SC2086
unsigned=$(best ${times[unsigned]})
# shellcheck disable=SC2086
signed=$(best ${times[signed]})
python3 -c "print(f'start to cleanupOldLauncherVersion: without keys {$unsigned:.3f} s, with keys {$signed:.3f} s, ratio {$signed / $unsigned:.2f}')"
