#!/usr/bin/env bash
# Installs what is missing, builds, and runs every suite:
#   1. optimised build (Release): all ctest suites, benchmark programs built
#   2. AddressSanitizer + UndefinedBehaviorSanitizer (incl. float-cast-overflow)
#   3. ThreadSanitizer: the concurrency suite
#   4. libFuzzer on both entry points for a bounded time (FUZZ_SECONDS, default 60)
#   5. aarch64: cross build of both libraries, the tool and the suites with Debian's
#      cross toolchain; the C host and the fast method's suite run under qemu-user
#      (AARCH64=0 skips it)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test

jobs=$(nproc)
start=$(date +%s)
# The host tests need the Debian interpreter with numpy, not one earlier on PATH.
py=(-DPython3_EXECUTABLE=/usr/bin/python3)

step() { printf '\n=== %s (%ds)\n' "$*" $(( $(date +%s) - start )); }

step "optimised build"
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DHANKEL_TRANSF_BUILD_TESTS=ON \
      -DHANKEL_TRANSF_BUILD_BENCH=ON "${py[@]}" >/dev/null
cmake --build build-release -j"$jobs"
ctest --test-dir build-release --output-on-failure -j"$jobs"

step "sanitizer build: address, undefined, float-cast-overflow"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHANKEL_TRANSF_BUILD_TESTS=ON \
      -DHANKEL_TRANSF_SANITIZE=address,undefined,float-cast-overflow "${py[@]}" >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE 'valgrind|no-sanitizer'

if [ -d tests/robustness ]; then
    step "thread sanitizer: concurrency suite"
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHANKEL_TRANSF_BUILD_TESTS=ON \
          -DHANKEL_TRANSF_SANITIZE=thread "${py[@]}" >/dev/null
    cmake --build build-tsan -j"$jobs"
    TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -L concurrency
fi

if [ -x fuzz/run.sh ] || [ -f fuzz/run.sh ]; then
    step "fuzzing both entry points for ${FUZZ_SECONDS:-60} s"
    bash fuzz/run.sh "${FUZZ_SECONDS:-60}"
fi

if [ "${AARCH64:-1}" != 0 ]; then
    step "aarch64 cross build, C host and fast suite under qemu-user"
    bash scripts/deps.sh aarch64
    cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
          -DCMAKE_BUILD_TYPE=Release -DHANKEL_TRANSF_BUILD_TESTS=ON -DHANKEL_TRANSF_INSTALL=OFF >/dev/null
    # Only what runs here: suites that need libquadmath or a host interpreter
    # are not built for the target.
    cmake --build build-aarch64 -j"$jobs" --target hankel_transf hankel_transf_fast hankel-transf \
          host_dlopen test_fast
    ctest --test-dir build-aarch64 --output-on-failure -j"$jobs" -R '^(host|fast|exports)\.'
fi

step "all suites passed"
