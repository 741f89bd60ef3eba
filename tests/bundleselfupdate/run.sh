#!/bin/bash
# End to end: bundle A (this build) installed with install.sh updates itself from bundle B (the
# same tree built as version A.1, one Qt library changed) published with quenmar-pack --launcher
# on a local server, while A runs from the files it replaces; then runs as B.
#   run.sh [SOURCE_DIR [BUILD_DIR]]   (B's build folder: BUNDLE_B_BUILD_DIR, default BUILD_DIR/bundleselfupdate-b)
set -euo pipefail
root=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
build=$(cd "${2:-$root/build}" && pwd)
# shellcheck source=lib.sh
source "$root/tests/bundleselfupdate/lib.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/bundleselfupdate.XXXXXX")
prog=
finish() {
    [ -z "$prog" ] || stop_processes "$prog/quenmar-launcher"
    rm -rf "$work"
}
trap finish EXIT

prepare_bundles

use_sandbox "$work/sandbox"
QUENMAR_ALLOW_ROOT=1 "$bundle_a/install.sh" --no-start >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "install.sh"; }
prog=$(program_dir)
log=$(log_file)
[ "$(reported_version "$prog/quenmar-launcher")" = "$version_a" ] || fail "installed A does not run as $version_a"

# The restarted launcher's request of the main configuration (the second) waits for the release.
start_server "$work/www" --hold-from 2 --held "$work/held" --release "$work/release"
write_settings "$prog/launchersettings.ini" "http://127.0.0.1:$port/main.json"
# The publisher's bundle carries the settings of its own server.
cp "$prog/launchersettings.ini" "$bundle_b/launchersettings.ini"
"$build/bin/quenmar-pack" build "$bundle_b" "$work/www/launcher" --main-config "$work/www/main.json" \
    --launcher >"$work/pack.log" 2>&1 || { cat "$work/pack.log" >&2; fail "quenmar-pack build --launcher"; }
grep -q "\"version\": \"$version_b\"" "$work/www/launcher/package.json" || fail "published version is not $version_b"

inode_program=$(stat -c %i "$prog/quenmar-launcher")
inode_library=$(stat -c %i "$prog/$changed")
cmp -s "$prog/$changed" "$bundle_b/$changed" && fail "A's $changed already is B's"
"$prog/quenmar-launcher" >"$work/launcher.out" 2>&1 &
wait_for 600 "request of the restarted launcher" test -e "$work/held"

# Updated and restarted, before the restarted launcher's clean-up: new files under the old names,
# the old ones (still mapped by A while it ran) kept as ".old".
[ "$(reported_version "$prog/quenmar-launcher")" = "$version_b" ] || fail "installed program is not $version_b"
cmp -s "$prog/$changed" "$bundle_b/$changed" || fail "$changed is not B's"
[ "$(stat -c %i "$prog/quenmar-launcher.old")" = "$inode_program" ] || fail "old program not kept as .old"
[ "$(stat -c %i "$prog/$changed.old")" = "$inode_library" ] || fail "old $changed not kept as .old"
[ "$(stat -c %i "$prog/$changed")" != "$inode_library" ] || fail "$changed was rewritten in place"

touch "$work/release"
wait_for 120 "clean-up of the old version" grep -q cleanupOldLauncherVersion "$log"
grep -q "Version: \"$version_b\"" "$log" || fail "the log does not show version $version_b"
[ ! -e "$prog/quenmar-launcher.old" ] || fail "quenmar-launcher.old left after the next start"
[ ! -e "$prog/$changed.old" ] || fail "$changed.old left after the next start"

mapfile -t command < <(desktop_command)
[ "${#command[@]}" -gt 0 ] || fail "no Exec line in the desktop entry"
[ "$(reported_version "${command[0]}")" = "$version_b" ] || fail "the desktop entry does not start $version_b"
echo "PASS: $version_a -> $version_b ($changed replaced)"
