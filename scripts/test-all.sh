#!/bin/bash
# Every test: the code style, the native build (unit, integration and end-to-end tests under Xvfb), the
# Windows cross build (the same unit tests and the end-to-end tests under Wine), the engine
# under AddressSanitizer and UBSan, and a short bounded fuzz run.
# Usage: scripts/test-all.sh            (build trees go to out/; about 25 minutes on two cores)
set -u
cd "$(dirname "$0")/.."
scripts/deps.sh test || exit 1
jobs=${JOBS:-2}
out=${OUT:-out}
status=0
step() { echo; echo "== $*  ($(date +%H:%M:%S))"; }
# Every option a tree relies on is set here, so a tree configured otherwise before (the demo's,
# a hand-made one) is put right instead of rerunning stale test binaries or none at all.
options=(-DLUMAREL_TESTS=ON -DLUMAREL_WERROR=ON -DLUMAREL_BENCH=OFF -DLUMAREL_SANITIZE=OFF -DLUMAREL_FUZZ=OFF -DLUMAREL_SIMD=ON)
# A tree that finds no tests fails instead of passing.
ctest_args=(--output-on-failure --timeout 300 --no-tests=error --repeat until-pass:3)

step "code style"
# Every C++ file as .clang-format has it.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror || status=1

step "native build"
cmake -S . -B "$out/linux" -G Ninja "${options[@]}" >/dev/null &&
    ninja -C "$out/linux" -j"$jobs" || exit 1
step "native tests"
# Tests that drive a real display get two more tries: a shared, loaded machine can starve them.
ctest --test-dir "$out/linux" -j"$jobs" "${ctest_args[@]}" || status=1

step "Windows cross build"
cmake -S . -B "$out/win" -G Ninja "${options[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-w64-x86_64.cmake" >/dev/null &&
    ninja -C "$out/win" -j"$jobs" || exit 1
step "Windows tests under Wine"
ctest --test-dir "$out/win" -j"$jobs" "${ctest_args[@]}" || status=1

if [ -f engine/CMakeLists.txt ]; then
    step "engine and rasterizer under AddressSanitizer and UBSan"
    cmake -S . -B "$out/asan" -G Ninja "${options[@]}" -DLUMAREL_SANITIZE=ON -DLUMAREL_WERROR=OFF >/dev/null &&
        ninja -C "$out/asan" -j"$jobs" engine_tests lumarel_raster_tests &&
        "$out/asan/tests/engine/engine_tests" --gtest_brief=1 &&
        "$out/asan/tests/raster/lumarel_raster_tests" --gtest_brief=1 || status=1
fi

step "rasterizer with its portable kernels only (no SSE2)"
cmake -S . -B "$out/nosimd" -G Ninja "${options[@]}" -DLUMAREL_SIMD=OFF >/dev/null &&
    ninja -C "$out/nosimd" -j"$jobs" lumarel_raster_tests &&
    "$out/nosimd/tests/raster/lumarel_raster_tests" --gtest_brief=1 || status=1

if [ -f fuzz/CMakeLists.txt ]; then
    step "fuzzing (bounded)"
    mkdir -p "$out/fuzz/corpus"
    CC=clang CXX=clang++ cmake -S . -B "$out/fuzz" -G Ninja "${options[@]}" -DLUMAREL_FUZZ=ON -DLUMAREL_TESTS=OFF \
        -DLUMAREL_WERROR=OFF >/dev/null &&
        ninja -C "$out/fuzz" -j"$jobs" fuzz_load_render &&
        "$out/fuzz/fuzz/fuzz_load_render" -max_total_time=60 -rss_limit_mb=2048 -timeout=10 \
            "$out/fuzz/corpus" fuzz/corpus samples || status=1
fi

echo
[ $status -eq 0 ] && echo "all test steps passed" || echo "some test steps FAILED"
exit $status
