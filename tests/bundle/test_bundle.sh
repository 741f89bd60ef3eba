#!/usr/bin/env bash
# Builds the bundle into a temporary folder, unpacks its archive in another place and starts the
# unpacked launcher in a throw-away home, without LD_LIBRARY_PATH or QT_PLUGIN_PATH. Every Qt, ICU,
# lzlib, liblzma, zlib and OpenSSL library and the platform plugin it maps must come from there.
#
#   test_bundle.sh BUILD_DIR
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=$1
work=$(realpath "$(mktemp -d)")
server_pid=
launcher_pid=

stop() {
    if [ -n "$1" ] && kill -0 "$1" 2>/dev/null; then
        kill "$1"
        wait "$1" || true
    fi
}
cleanup() {
    stop "$launcher_pid"
    stop "$server_pid"
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ ! -f "$work/launcher.out" ] || sed 's/^/launcher: /' "$work/launcher.out" >&2
    exit 1
}
# Polls Condition (a command) every 0.2 s until it holds; false after 60 s.
wait_for() {
    local deadline=$((SECONDS + 60))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

version=$(sed -n 's/^QUENMAR_VERSION:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
name=quenmar-launcher-$version-linux-x86_64
bundle=$(QUENMAR_DIST_DIR="$work/dist" "$source_dir/scripts/bundle.sh" "$build_dir" | tail -n 1)
[ "$bundle" = "$work/dist/$name" ] || fail "bundle.sh reported '$bundle'"
[ "$(tar -tzf "$work/dist/$name.tar.gz" | cut -d/ -f1 | sort -u)" = "$name" ] || fail "archive has other top folders"

mkdir "$work/elsewhere"
tar -xzf "$work/dist/$name.tar.gz" -C "$work/elsewhere"
rm -rf "$bundle"
program=$work/elsewhere/$name
for file in quenmar-launcher qt.conf launchersettings.ini lib/libssl.so.3 lib/libcrypto.so.3 plugins/platforms/libqxcb.so; do
    [ -f "$program/$file" ] || fail "$file missing"
done
desktop=$source_dir/launcher/resources/desktop
for file in "$desktop"/*.desktop.in "$desktop"/*.metainfo.xml "$desktop"/install.sh "$desktop"/icons/hicolor/*/apps/*.png; do
    [ -f "$file" ] || continue
    case $file in
    *.desktop.in) target=share/applications/${file##*/} ;;
    *.metainfo.xml) target=share/metainfo/${file##*/} ;;
    *.png) target=share/icons/hicolor/${file#"$desktop/icons/hicolor/"} ;;
    *) target=install.sh ;;
    esac
    cmp -s "$file" "$program/$target" || fail "$target differs from $file or is missing"
done

mkdir -p "$work/home" "$work/data" "$work/config" "$work/cache" "$work/tmp"
child_environment=(PATH=/usr/bin:/bin HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
    XDG_CACHE_HOME="$work/cache" TMPDIR="$work/tmp" QT_QPA_PLATFORM=offscreen QUENMAR_NONINTERACTIVE=1)
printed=$(env -i "${child_environment[@]}" "$program/quenmar-launcher" --version)
[ "$printed" = "quenmar-launcher $version" ] || fail "--version printed '$printed'"

# A server that accepts connections and never answers holds the launcher in its TLS handshake
# for the main configuration, so libssl is loaded and stays loaded.
python3 -c '
import socket, sys
server = socket.create_server(("127.0.0.1", 0))
print(server.getsockname()[1], flush=True)
held = []
while True:
    held.append(server.accept())
' >"$work/port" &
server_pid=$!
wait_for test -s "$work/port" || fail "the holding server did not start"
sed -i -e "s|^launcherConfiguration=.*|launcherConfiguration=https://127.0.0.1:$(cat "$work/port")/brlmetadata.json|" \
    -e 's|^downloadErrorTimeout=.*|downloadErrorTimeout=600000|' "$program/launchersettings.ini"

env -i "${child_environment[@]}" "$program/quenmar-launcher" >"$work/launcher.out" 2>&1 &
launcher_pid=$!
ssl_mapped() {
    kill -0 "$launcher_pid" 2>/dev/null || fail "the launcher ended"
    grep -q '/libssl\.so' "/proc/$launcher_pid/maps"
}
wait_for ssl_mapped || fail "libssl was not loaded"

mapped=$(awk '$6 ~ /^\// { print $6 }' "/proc/$launcher_pid/maps" | sort -u)
checked='/(libQt5[^/]*|libicu[^/]*|liblz\.so[^/]*|liblzma\.so[^/]*|libz\.so[^/]*|libssl\.so[^/]*|libcrypto\.so[^/]*)$'
while read -r library; do
    [[ $library == "$program/lib/"* ]] || fail "$library is mapped from outside the bundle"
done < <(grep -E "$checked" <<<"$mapped")
for library in libQt5Core libQt5Gui libQt5Widgets libQt5Network libicuuc liblz.so liblzma.so libz.so libssl.so libcrypto.so; do
    grep -q "^$program/lib/$library" <<<"$mapped" || fail "$library is not mapped"
done
platform=$(grep '/platforms/' <<<"$mapped" || true)
[ "$platform" = "$program/plugins/platforms/libqoffscreen.so" ] || fail "platform plugin mapped: '$platform'"
echo "PASS: $program"
