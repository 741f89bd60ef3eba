#!/usr/bin/env bash
# Builds the tree with AddressSanitizer and UndefinedBehaviorSanitizer in its own folder
# (build-sanitize/) and runs the whole CTest suite there with leak detection. Any heap error,
# leak or undefined behaviour ends the process that met it, so the test that ran it fails.
#
#   scripts/sanitize.sh [ctest arguments ...]      e.g. scripts/sanitize.sh -R test_downloader
#
# Environment: QUENMAR_SANITIZE_BUILD_DIR (default build-sanitize), SANITIZE_JOBS (build and test
# parallelism, default the number of processors), SANITIZE_TIMEOUT_FACTOR (how much longer than
# usual every test may run, default 4). ccache is used when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
scripts/setup-deps.sh

build_dir=${QUENMAR_SANITIZE_BUILD_DIR:-build-sanitize}
jobs=${SANITIZE_JOBS:-$(nproc)}
factor=${SANITIZE_TIMEOUT_FACTOR:-4}
if ! [[ "$factor" =~ ^[1-9][0-9]*$ ]]; then
    echo "SANITIZE_TIMEOUT_FACTOR must be a positive whole number" >&2
    exit 2
fi

compiler_launcher=()
if command -v ccache >/dev/null 2>&1; then
    compiler_launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# The benchmarks register no tests, so they are left out of this tree.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${compiler_launcher[@]}" \
    -DSANITIZE="address;undefined" -DBUILD_BENCHMARKS=OFF -DBUILD_FUZZERS=OFF \
    -DQUENMAR_TEST_TIMEOUT_FACTOR="$factor" >/dev/null
cmake --build "$build_dir" -j "$jobs"

# The options reach every program a test starts (the launcher, quenmar-pack, the drivers), too.
asan_options=(
    detect_leaks=1 halt_on_error=1
    check_initialization_order=1 strict_init_order=1 detect_stack_use_after_return=1
    # Qt is built without frame pointers: only the slow unwinder gives whole allocation stacks,
    # which the leak reports and the suppressions need.
    fast_unwind_on_malloc=0 malloc_context_size=40
    # The leak checker of this toolchain misreads the dynamic TLS of dlopen()ed modules (Qt's
    # plugins) and then crashes now and then ("Tracer caught signal 11").
    intercept_tls_get_addr=0
)
export ASAN_OPTIONS=${ASAN_OPTIONS:-$(IFS=:; echo "${asan_options[*]}")}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$repo/tests/data/sanitize/lsan.supp:print_suppressions=0}
export QT_QPA_PLATFORM=offscreen
# QtTest's watchdog ends a test function after five minutes; give slow functions the same margin.
export QTEST_FUNCTION_TIMEOUT=$((300000 * factor))

ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" --timeout $((900 * factor)) "$@"
