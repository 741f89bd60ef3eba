#!/usr/bin/env bash
# Installs what is missing, configures, builds with warnings as errors, runs the format and
# clang-tidy checks and every test. Non-zero exit on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh -DWARNINGS_AS_ERRORS=ON
build_dir=${QUENMAR_BUILD_DIR:-build}
scripts/check.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" --timeout 900
