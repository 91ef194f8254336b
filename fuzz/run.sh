#!/usr/bin/env bash
# Builds the libFuzzer harness with clang (ASan + UBSan) straight from the
# library sources and fuzzes for a bounded time.
#
#   fuzz/run.sh [seconds]      default 60
#
# Environment: FUZZ_BUILD_DIR (default <repo>/build-fuzz), CLANGXX (default
# clang++-14 or clang++), FUZZ_JOBS (parallel compiles, default 2),
# FUZZ_FAST=0 to leave the fast entry out (default: in).
# Exits non-zero if the build fails or the fuzzer finds a crash, a sanitizer
# report or a failed check; prints the number of executions.
set -euo pipefail

secs="${1:-60}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
out="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
cxx="${CLANGXX:-$(command -v clang++-14 || command -v clang++)}"
rm -rf "$out/obj"
mkdir -p "$out/obj" "$out/corpus"

# Same arithmetic rules as the CMake build: no contraction, no value-changing
# optimisation, no build-machine ISA.
common=(-std=c++17 -O2 -g -ffp-contract=off -fno-omit-frame-pointer
        -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
        -Wno-psabi -DHANKEL_TRANSF_BUILDING -I"$root/include" -I"$root/src")

sources=("$root/src/grid.cpp" "$root/src/hankel_transf.cpp")
fast_libs=()
if [[ "${FUZZ_FAST:-1}" != 0 ]]; then
  for f in "$root"/src/fast/*.cpp; do sources+=("$f"); done
  common+=(-DHANKEL_TRANSF_HAVE_FAST=1 -DHANKEL_TRANSF_FAST_BUILDING -I"$root/src/fast")
  fast_libs=(-lfftw3_threads -lfftw3 -lpthread)
fi

objs=()
pids=()
for src in "${sources[@]}" "$here/fuzz_dft.cpp"; do
  obj="$out/obj/$(basename "$(dirname "$src")")_$(basename "$src" .cpp).o"
  objs+=("$obj")
  "$cxx" "${common[@]}" -c "$src" -o "$obj" &
  pids+=($!)
  if (( ${#pids[@]} >= ${FUZZ_JOBS:-2} )); then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
done
for p in "${pids[@]}"; do wait "$p"; done
"$cxx" -fsanitize=fuzzer,address,undefined "${objs[@]}" "${fast_libs[@]}" -lgsl -lgslcblas -lm -o "$out/fuzz_dft"

# New inputs go to the build tree; the checked-in seeds are only read.
log="$out/fuzz.log"
set +e
"$out/fuzz_dft" -max_total_time="$secs" -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus" "$here/corpus" >"$log" 2>&1
rc=$?
set -e
execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)"
if (( rc != 0 )); then
  tail -n 60 "$log"
  echo "fuzz_dft FAILED (exit $rc) after ${execs:-?} executions; artifacts in $out/" >&2
  exit "$rc"
fi
grep -E '^#[0-9]+ *DONE' "$log" | tail -n1 || true
echo "fuzz_dft: ${execs:-?} executions in ${secs} s, no failure"
