#!/usr/bin/env bash
# Checks that keep the tree in shape: every tracked C++ file is clang-formatted, and clang-tidy
# (.clang-tidy) finds nothing in the product sources under launcher/ and tools/. Needs a
# configured build for its compile_commands.json (QUENMAR_BUILD_DIR, default build/).
# Non-zero exit on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QUENMAR_BUILD_DIR:-build}

if [ ! -f "$build_dir/compile_commands.json" ]; then
    echo "check.sh: $build_dir/compile_commands.json is missing; configure the build first" >&2
    exit 1
fi

echo "-- clang-format"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

echo "-- clang-tidy"
# The compilation database names every translation unit; the tidy run takes the tracked product
# sources among them (generated moc files and the tests stay out).
run-clang-tidy -quiet -p "$build_dir" -j "$(nproc)" "^$(pwd)/(launcher|tools)/.*\.cpp$" >"$build_dir/clang-tidy.log" 2>&1 ||
    {
        grep -E 'warning:|error:' "$build_dir/clang-tidy.log" | sort -u >&2
        echo "check.sh: clang-tidy found problems (full output in $build_dir/clang-tidy.log)" >&2
        exit 1
    }
echo "-- all checks passed"
