# Shared by the bundle self-update test, its benchmark and the TLS test (sourced): bundles, a
# second build of another version, a sandboxed user, the local server and the launcher processes.
# Expects: root (source tree), build (build tree), work (a scratch folder).

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Polls "$@" until it succeeds; fails with Subject after Seconds.
wait_for() {
    local seconds=$1 subject=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" 2>/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || fail "no $subject within ${seconds}s"
        sleep 0.1
    done
}

# Bundles the build tree Build into Dist and prints the bundle folder.
make_bundle() {
    QUENMAR_DIST_DIR=$2 "$root/scripts/bundle.sh" "$1" 2>"$work/bundle.err" | tail -n 1 ||
        { cat "$work/bundle.err" >&2; fail "bundle.sh $1"; }
}

# Builds the launcher of this tree as Version into a build folder of its own, kept between runs
# (BUNDLE_B_BUILD_DIR) so that the next run only rebuilds what changed; prints that folder.
build_launcher_version() {
    local folder=${BUNDLE_B_BUILD_DIR:-$build/bundleselfupdate-b}
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    fi
    {
        cmake -S "$root" -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENMAR_VERSION="$1" \
            "${launcher[@]}" && nice -n 10 cmake --build "$folder" --target quenmar-launcher
    } >"$work/build-b.log" 2>&1 || { tail -n 40 "$work/build-b.log" >&2; fail "build of version $1"; }
    echo "$folder"
}

# Gives one bundled Qt library of Bundle a note section of its own, so that it differs from the
# same library of another bundle while it stays a library that loads; prints its relative path.
mark_library() {
    local bundle=$1 library
    library=$(cd "$bundle" && find lib -name 'libQt5Core.so*' -type f | head -n 1)
    [ -n "$library" ] || fail "no libQt5Core in $bundle/lib"
    printf 'marked by the bundle self-update test\n' >"$work/note"
    objcopy --add-section .note.quenmar-bundle="$work/note" \
        --set-section-flags .note.quenmar-bundle=noload,readonly "$bundle/$library" "$work/marked.so"
    cat "$work/marked.so" >"$bundle/$library.marked" && mv "$bundle/$library.marked" "$bundle/$library"
    echo "$library"
}

# Bundles this build as A and a build of version A.1 as B, B with one library changed; sets
# version_a, version_b, bundle_a, bundle_b and changed (the changed library, relative).
prepare_bundles() {
    version_a=$(reported_version "$build/bin/quenmar-launcher")
    [ -n "$version_a" ] || fail "$build/bin/quenmar-launcher has no --version"
    version_b=$version_a.1
    bundle_a=$(make_bundle "$build" "$work/dist-a")
    bundle_b=$(make_bundle "$(build_launcher_version "$version_b")" "$work/dist-b")
    changed=$(mark_library "$bundle_b")
    [ "$(reported_version "$bundle_b/quenmar-launcher")" = "$version_b" ] || fail "bundle B does not run as $version_b"
}

# A user of their own: home, XDG folders and temporary folder below Folder, no display.
use_sandbox() {
    local folder=$1
    mkdir -p "$folder"/{home,data,config,cache,runtime,tmp}
    chmod 700 "$folder/runtime"
    export HOME=$folder/home XDG_DATA_HOME=$folder/data XDG_CONFIG_HOME=$folder/config
    export XDG_CACHE_HOME=$folder/cache XDG_RUNTIME_DIR=$folder/runtime TMPDIR=$folder/tmp
    export QT_QPA_PLATFORM=offscreen QUENMAR_NONINTERACTIVE=1
}

program_dir() { echo "$XDG_DATA_HOME/Brelmor GmbH/Quenmar Online/launcher"; }
log_file() { echo "$XDG_DATA_HOME/Brelmor GmbH/Quenmar Online/quenmar-launcher.log"; }

# Starts server.py on Root (further arguments go to it); sets server_pid and port.
start_server() {
    local root_folder=$1
    shift
    mkdir -p "$root_folder"
    python3 "$root/tests/bundleselfupdate/server.py" "$root_folder" "$@" >"$work/server.out" 2>&1 &
    server_pid=$!
    wait_for 30 "server port" grep -q '^port ' "$work/server.out"
    port=$(sed -n 's/^port //p' "$work/server.out")
}

# The default settings with the main configuration at Url.
write_settings() {
    sed "s|^launcherConfiguration=.*|launcherConfiguration=$2|" "$root/launcher/resources/launchersettings.ini" >"$1"
}

# Ends every launcher started from Program (by process id).
stop_launchers() {
    local program=$1 process
    for process in /proc/[0-9]*; do
        if [ "$(readlink "$process/exe" 2>/dev/null)" = "$program" ]; then
            kill "${process#/proc/}" 2>/dev/null || true
        fi
    done
}

# Ends every launcher started from Program and the server.
stop_processes() {
    stop_launchers "$1"
    if [ -n "${server_pid:-}" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
}

# Starts Program in the background and prints the seconds until its log holds Line (polled every
# 5 ms); fails after Limit seconds. Used by the benchmarks that time a start.
seconds_until_logged() {
    local program=$1 line=$2 limit=$3 log start end deadline
    log=$(log_file)
    deadline=$((SECONDS + limit))
    start=$(date +%s.%N)
    "$program" >/dev/null 2>&1 &
    until grep -q "$line" "$log" 2>/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || fail "no start of $program"
        sleep 0.005
    done
    end=$(date +%s.%N)
    python3 -c "print($end - $start)"
}

# The smallest of the numbers given.
best() { python3 -c "import sys; print(min(float(x) for x in sys.argv[1:]))" "$@"; }

# The version that Program reports.
reported_version() { "$1" --version | sed -n 's/^quenmar-launcher //p'; }

# The program line of the installed desktop entry, as a list of arguments without field codes.
desktop_command() {
    python3 - "$XDG_DATA_HOME/applications/de.brelmor.QuenmarLauncher.desktop" <<'PY'
import shlex, sys
for line in open(sys.argv[1], encoding="utf-8"):
    if line.startswith("Exec="):
        words = [w for w in shlex.split(line[5:].strip()) if not (len(w) == 2 and w[0] == "%")]
        print("\n".join(words))
        break
PY
}
