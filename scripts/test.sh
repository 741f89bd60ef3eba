#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test. Non-zero exit on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
build_dir=${QUENMAR_BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" --timeout 900
