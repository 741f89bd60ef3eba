#!/usr/bin/env bash
# Grabs the launcher's main window to docs/images/main-window.png, the picture in README.md.
# Builds the small tools/window-preview program, which shows the window with demo packages in the
# four states a player meets (installed, update required, being updated with its progress bar and
# speed, not installed) and three hints, and runs it on a virtual X server (Xvfb), so it works
# without a display and gives the same picture everywhere.
#
# Arguments are passed to window-preview, for example --packages 5 or --names; the environment
# variable QUENMAR_SCREENSHOT names another output file, QUENMAR_BUILD_DIR another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh

build_dir=${QUENMAR_BUILD_DIR:-build}
output=$(realpath -m "${QUENMAR_SCREENSHOT:-docs/images/main-window.png}")
if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}"
fi
cmake --build "$build_dir" --target window-preview -j "$(nproc)"

mkdir -p "$(dirname "$output")"
# A screen larger than the window, so that the window manager-less server maps it whole.
xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" \
    env QT_QPA_PLATFORM=xcb "$build_dir/bin/window-preview" --output "$output" "$@"
echo "Wrote $output"
