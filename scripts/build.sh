#!/usr/bin/env bash
# Configures and builds the whole tree into build/ (launcher at build/bin/quenmar-launcher).
set -euo pipefail
cd "$(dirname "$0")/.."
"$(pwd)/scripts/setup-deps.sh"
build_dir=${QUENMAR_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" "$@"
cmake --build "$build_dir" -j "$(nproc)"
