#!/bin/bash
# The launcher as a bundle against the launcher as the build tree's binary, on a local server:
#   (i)  start of an up-to-date launcher: from process start to the log line
#        "cleanupOldLauncherVersion" (main and package configurations loaded, no self-update),
#        the installed bundle A against a program folder holding only the build tree's binary;
#   (ii) self-update A -> B (B: the same tree as version A.1 with one Qt library changed), from
#        the start of A to the restarted B's "cleanupOldLauncherVersion", with the installed
#        bundle A against a program folder holding only the build tree's binary (which then
#        has the whole bundle B to fetch).
# Every figure is the best of ROUNDS runs (default 5), the two sides taking turns.
#   BUILD_DIR  build tree (default: build/ of this checkout); needs scripts/bundle.sh and install.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${BUILD_DIR:-$root/build}" && pwd)
rounds=${ROUNDS:-5}
# shellcheck source=../../tests/bundleselfupdate/lib.sh
source "$root/tests/bundleselfupdate/lib.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-bundle.XXXXXX")
programs=()
finish() {
    local program
    for program in "${programs[@]}"; do stop_processes "$program"; done
    rm -rf "$work"
}
trap finish EXIT

prepare_bundles

start_server "$work/www"
url="http://127.0.0.1:$port"
write_settings "$work/settings.ini" "$url/current/main.json"
for version in a b; do
    bundle_var=bundle_$version
    cp "$work/settings.ini" "${!bundle_var}/launchersettings.ini"
done
# current/: offers A (nothing to update); update/: offers B.
"$build/bin/quenmar-pack" build "$bundle_a" "$work/www/current/launcher" --main-config "$work/www/current/main.json" \
    --launcher >/dev/null
"$build/bin/quenmar-pack" build "$bundle_b" "$work/www/update/launcher" --main-config "$work/www/update/main.json" \
    --launcher >/dev/null

# Prepares round folder Name with the program folder of Kind (bundle or binary) and Main (current
# or update) and prints the program path.
prepare() {
    local name=$1 kind=$2 main=$3
    use_sandbox "$work/$name"
    local prog
    prog=$(program_dir)
    if [ "$kind" = bundle ]; then
        QUENMAR_ALLOW_ROOT=1 "$bundle_a/install.sh" --no-start >/dev/null 2>&1 || fail "install.sh"
    else
        mkdir -p "$prog"
        cp "$build/bin/quenmar-launcher" "$prog/"
    fi
    write_settings "$prog/launchersettings.ini" "$url/$main/main.json"
    echo "$prog/quenmar-launcher"
}

# Seconds from the start of Program to its log line "cleanupOldLauncherVersion".
measure() {
    local seconds
    seconds=$(seconds_until_logged "$1" cleanupOldLauncherVersion 600)
    stop_launchers "$1"
    echo "$seconds"
}

declare -A times
for round in $(seq "$rounds"); do
    for main in current update; do
        for kind in bundle binary; do
            program=$(prepare "$round-$main-$kind" "$kind" "$main")
            programs+=("$program")
            use_sandbox "$work/$round-$main-$kind"
            times[$main-$kind]+=" $(measure "$program")"
        done
    done
done
for main in current update; do
    # shellcheck disable=SC2086
    bundle=$(best ${times[$main-bundle]})
    # shellcheck disable=SC2086
    binary=$(best ${times[$main-binary]})
    label=$([ "$main" = current ] && echo "start, up to date" || echo "self-update $version_a -> $version_b")
    python3 -c "print(f'$label: bundle {$bundle:.3f} s, build-tree binary {$binary:.3f} s, ratio {$bundle / $binary:.2f}')"
done
