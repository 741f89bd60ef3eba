#!/usr/bin/env bash
# Builds every libFuzzer target of the tree in its own clang tree (build-fuzz/) and runs each one
# for a bounded time, seeded from tests/data/fuzz/<target>/ when that folder exists and from the
# files that the target's seed writer (<build>/fuzz-seeds/<target>_seeds FOLDER), if it has one,
# generates into <build>/seeds/<target>/.
#
#   scripts/fuzz.sh [seconds per target] [target ...]
#
# The time defaults to $FUZZ_SECONDS or 60. Without target names every target is run. Exits
# non-zero when any target finds a crash, a leak, a timeout or an invariant violation; the
# reproducer lands in build-fuzz/artifacts/<target>/ and belongs, once fixed, in tests/data/
# next to an ordinary test that opens it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${FUZZ_SECONDS:-60}}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "usage: $0 [seconds per target] [target ...]" >&2
    exit 2
fi
shift $(($# > 0 ? 1 : 0))

build_dir=${QUENMAR_FUZZ_BUILD_DIR:-build-fuzz}
jobs=${FUZZ_BUILD_JOBS:-$(nproc)}

CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_FUZZERS=ON -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null

# Every executable the build puts into <build>/fuzz/ is a fuzz target, whoever added it.
mapfile -t all_targets < <(ninja -C "$build_dir" -t targets all |
    sed -n 's|^fuzz/\([A-Za-z0-9_.-]*\): CXX_EXECUTABLE_LINKER.*|\1|p' | sort -u)
if [ ${#all_targets[@]} -eq 0 ]; then
    echo "No fuzz targets found." >&2
    exit 1
fi

if [ $# -gt 0 ]; then
    targets=("$@")
    for target in "${targets[@]}"; do
        if ! printf '%s\n' "${all_targets[@]}" | grep -qx -- "$target"; then
            echo "Unknown fuzz target: $target (known: ${all_targets[*]})" >&2
            exit 2
        fi
    done
else
    targets=("${all_targets[@]}")
fi

# Seed writers live in <build>/fuzz-seeds/, named after their target with "_seeds" appended.
mapfile -t seed_writers < <(ninja -C "$build_dir" -t targets all |
    sed -n 's|^fuzz-seeds/\([A-Za-z0-9_.-]*\)_seeds: CXX_EXECUTABLE_LINKER.*|\1|p' | sort -u)
build_targets=("${targets[@]}")
for target in "${targets[@]}"; do
    if printf '%s\n' "${seed_writers[@]}" | grep -qx -- "$target"; then
        build_targets+=("${target}_seeds")
    fi
done

echo "Building: ${build_targets[*]}"
cmake --build "$build_dir" -j "$jobs" --target "${build_targets[@]}"

# Undefined behaviour counts as a crash, not as a warning in the log.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(pwd)/tests/data/fuzz/lsan.supp:print_suppressions=0}
export QT_QPA_PLATFORM=offscreen

failed=()
for target in "${targets[@]}"; do
    corpus="$build_dir/corpus/$target"
    artifacts="$build_dir/artifacts/$target/"
    mkdir -p "$corpus" "$artifacts"
    seeds=()
    if [ -d "tests/data/fuzz/$target" ]; then
        seeds=("tests/data/fuzz/$target")
    fi
    if [ -x "$build_dir/fuzz-seeds/${target}_seeds" ]; then
        "$build_dir/fuzz-seeds/${target}_seeds" "$build_dir/seeds/$target"
        seeds+=("$build_dir/seeds/$target")
    fi
    echo "=== $target: ${seconds}s${seeds:+, seeds from ${seeds[*]}}"
    # New inputs go to the working corpus under the build tree; the committed seeds stay read-only.
    if "$build_dir/fuzz/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" "${seeds[@]}" \
        >"$build_dir/artifacts/$target.log" 2>&1; then
        tail -n 12 "$build_dir/artifacts/$target.log" | grep -E '^stat::(number_of_executed_units|new_units_added)' || true
    else
        echo "!!! $target failed; log: $build_dir/artifacts/$target.log" >&2
        grep -E 'ERROR|runtime error|invariant broken|Test unit written' "$build_dir/artifacts/$target.log" | head -n 10 >&2 || true
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "Fuzz targets with findings: ${failed[*]}" >&2
    exit 1
fi
echo "All ${#targets[@]} fuzz targets ran ${seconds}s without findings."
