#!/usr/bin/env bash
# Builds the player bundle: a relocatable folder with the launcher, the Qt and other libraries it
# needs, the Qt plugins, qt.conf, the default settings and the desktop files, and a .tar.gz of it.
#
#   scripts/bundle.sh [BUILD_DIR]      (default: build/ of this checkout)
#
# Output: QUENMAR_DIST_DIR (default BUILD_DIR/dist)/quenmar-launcher-<version>-linux-x86_64/ and
# the .tar.gz of that folder next to it. The last line on standard output is the folder's path;
# progress goes to standard error.
#
# Libraries: everything the executable and the bundled plugins load is followed through the
# NEEDED entries and copied into lib/, except the libraries every Linux desktop has. Those are
# neither copied nor followed further (their own dependencies belong to the system as well):
#   C library family     ld-linux, libc, libm, libdl, libpthread, librt, libresolv, libutil
#   compiler runtime     libstdc++, libgcc_s
#   graphics / desktop   X11, xcb, xkbcommon, SM/ICE, GL/EGL/GLX, gbm, drm, wayland,
#                        fontconfig, freetype, harfbuzz, graphite2, glib, dbus, systemd/udev
# Qt 5 itself, ICU, lzlib, liblzma, zlib, OpenSSL, double-conversion, pcre2, zstd, png, jpeg, md4c,
# Kerberos (Qt Network) and so on go inside. Qt opens OpenSSL with dlopen: first as libssl.so and
# libcrypto.so (the names of the development links), then as the libssl.so.* it finds beside the
# libraries already loaded. lib/ holds OpenSSL 3 under both names, so neither finds the system's.
#
# Relocatable: RUNPATH $ORIGIN/lib on the executable, $ORIGIN on lib/, $ORIGIN/../../lib on the
# plugins (set with patchelf); qt.conf points Qt at the bundled plugins, never at the system's.
# shellcheck disable=SC2016 # $ORIGIN in a RUNPATH is for the loader, not the shell
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(realpath -m "${1:-$source_dir/build}")
dist_dir=$(realpath -m "${QUENMAR_DIST_DIR:-$build_dir/dist}")
qt_plugin_dir=/usr/lib/x86_64-linux-gnu/qt5/plugins
export PATH=$PATH:/usr/sbin:/sbin # ldconfig

system_libraries=(
    'ld-linux*' 'libc.so.*' 'libm.so.*' 'libdl.so.*' 'libpthread.so.*' 'librt.so.*' 'libresolv.so.*' 'libutil.so.*'
    'libstdc++.so.*' 'libgcc_s.so.*'
    'libX*' 'libxcb*' 'libxkbcommon*' 'libSM.so.*' 'libICE.so.*'
    'libGL*' 'libEGL.so.*' 'libOpenGL.so.*' 'libgbm.so.*' 'libdrm.so.*' 'libwayland-*'
    'libfontconfig.so.*' 'libfreetype.so.*' 'libharfbuzz*' 'libgraphite2.so.*'
    'libglib-2.0.so.*' 'libgobject-2.0.so.*' 'libgio-2.0.so.*' 'libgmodule-2.0.so.*' 'libgthread-2.0.so.*'
    'libdbus-1.so.*' 'libsystemd.so.*' 'libudev.so.*'
)
opened_at_run_time=(libssl.so.3 libcrypto.so.3) # and their links libssl.so, libcrypto.so
# platforms: xcb for desktops, offscreen for headless runs, wayland where installed; the window's
# artwork needs jpeg (png is built into Qt).
plugin_patterns=(
    'platforms/libqxcb.so' 'platforms/libqoffscreen.so' 'platforms/libqwayland-*.so'
    'xcbglintegrations/*.so' 'platforminputcontexts/*.so' 'imageformats/libqjpeg.so'
    'wayland-*/*.so'
)

say() { echo "bundle: $*" >&2; }
fail() {
    say "$*"
    exit 1
}

is_system_library() {
    local name=$1 pattern
    for pattern in "${system_libraries[@]}"; do
        # shellcheck disable=SC2053 # the patterns are globs
        [[ $name == $pattern ]] && return 0
    done
    return 1
}

build_launcher() {
    if [ ! -f "$build_dir/CMakeCache.txt" ]; then
        say "configuring $build_dir"
        cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
    fi
    cmake --build "$build_dir" --target quenmar-launcher >&2
}

configured_version() {
    sed -n 's/^QUENMAR_VERSION:[A-Z]*=//p' "$build_dir/CMakeCache.txt"
}

# The libraries Object needs directly, as "soname path" lines resolved the way the loader would.
needed_libraries() {
    local object=$1 resolved soname
    resolved=$(ldd "$object" || true)
    for soname in $(objdump -p "$object" | awk '$1 == "NEEDED" { print $2 }'); do
        is_system_library "$soname" && continue
        echo "$soname $(awk -v name="$soname" '$1 == name { print $3 }' <<<"$resolved")"
    done
}

# Copies the library at Path into lib/ as Soname, then what it needs in turn.
bundle_library() {
    local soname=$1 path=$2
    [ -e "$bundle/lib/$soname" ] && return 0
    [ -f "$path" ] || fail "$soname not found"
    install -m 0644 "$path" "$bundle/lib/$soname"
    patchelf --set-rpath '$ORIGIN' "$bundle/lib/$soname"
    bundle_needed_libraries "$path"
}

bundle_needed_libraries() {
    local soname path
    while read -r soname path; do
        bundle_library "$soname" "$path"
    done < <(needed_libraries "$1")
}

copy_run_time_libraries() {
    local soname
    for soname in "${opened_at_run_time[@]}"; do
        bundle_library "$soname" "$(ldconfig -p | awk -v name="$soname" '$1 == name && /x86-64/ { print $NF; exit }')"
        ln -sfn "$soname" "$bundle/lib/${soname%.*}"
    done
}

copy_plugins() {
    local pattern plugin target
    for pattern in "${plugin_patterns[@]}"; do
        for plugin in "$qt_plugin_dir"/$pattern; do
            [ -f "$plugin" ] || continue
            target=$bundle/plugins/${plugin#"$qt_plugin_dir"/}
            install -D -m 0644 "$plugin" "$target"
            patchelf --set-rpath '$ORIGIN/../../lib' "$target"
            bundle_needed_libraries "$plugin"
        done
    done
    [ -f "$bundle/plugins/platforms/libqxcb.so" ] || fail "the xcb platform plugin is missing in $qt_plugin_dir"
}

copy_program() {
    install -m 0755 "$build_dir/bin/quenmar-launcher" "$bundle/quenmar-launcher"
    strip --strip-debug "$bundle/quenmar-launcher"
    patchelf --set-rpath '$ORIGIN/lib' "$bundle/quenmar-launcher"
    bundle_needed_libraries "$build_dir/bin/quenmar-launcher"
    printf '[Paths]\nPrefix=.\nPlugins=plugins\n' >"$bundle/qt.conf"
    install -m 0644 "$source_dir/launcher/resources/launchersettings.ini" "$bundle/launchersettings.ini"
    if [ -f "$build_dir/bin/launcher.en.qm" ]; then
        install -m 0644 "$build_dir/bin/launcher.en.qm" "$bundle/launcher.en.qm"
    fi
}

# The desktop integration files, where the checkout has them.
copy_desktop_files() {
    local desktop=$source_dir/launcher/resources/desktop
    local application_id=de.brelmor.QuenmarLauncher
    if [ -f "$desktop/install.sh" ]; then
        install -m 0755 "$desktop/install.sh" "$bundle/install.sh"
    fi
    if [ -f "$desktop/$application_id.desktop.in" ]; then
        install -D -m 0644 "$desktop/$application_id.desktop.in" "$bundle/share/applications/$application_id.desktop.in"
    fi
    if [ -f "$desktop/$application_id.metainfo.xml" ]; then
        install -D -m 0644 "$desktop/$application_id.metainfo.xml" "$bundle/share/metainfo/$application_id.metainfo.xml"
    fi
    if [ -d "$desktop/icons/hicolor" ]; then
        mkdir -p "$bundle/share/icons"
        cp -R "$desktop/icons/hicolor" "$bundle/share/icons/"
    fi
    [ -f "$bundle/install.sh" ] || say "no desktop files in $desktop yet: bundled without them"
}

# Sorted members, fixed owner, the source's commit time as every member's time.
pack() {
    local epoch
    epoch=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || true)
    epoch=${epoch:-${SOURCE_DATE_EPOCH:-$(date +%s)}}
    tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$epoch" --format=gnu \
        -C "$dist_dir" -cf - "$name" | gzip -n -9 >"$dist_dir/$name.tar.gz"
}

command -v patchelf >/dev/null || fail "patchelf is missing (scripts/setup-deps.sh installs it)"
build_launcher
version=$(configured_version)
[ -n "$version" ] || fail "no QUENMAR_VERSION in $build_dir/CMakeCache.txt"
name=quenmar-launcher-$version-linux-x86_64
bundle=$dist_dir/$name
rm -rf "$bundle" "$dist_dir/$name.tar.gz"
mkdir -p "$bundle/lib"

say "writing $bundle"
copy_program
copy_plugins
copy_run_time_libraries
copy_desktop_files
pack
say "$(du -sh "$bundle" | cut -f1) in the folder, $(du -h "$dist_dir/$name.tar.gz" | cut -f1) packed"
echo "$bundle"
