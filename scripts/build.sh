#!/usr/bin/env bash
# Configures and builds the whole tree into build/ (launcher at build/bin/quenmar-launcher).
set -euo pipefail
cd "$(dirname "$0")/.."
"$(pwd)/scripts/setup-deps.sh"
build_dir=${QUENMAR_BUILD_DIR:-build}
# A second build of the same sources (another version, another folder) then comes from the cache.
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" "${launcher[@]}" "$@"
cmake --build "$build_dir" -j "$(nproc)"
