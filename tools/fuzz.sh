#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (every library
# instrumented, ASan and UBSan on) and runs one or all of them.
#
#   bash tools/fuzz.sh [TARGET|all] [SECONDS]
#
# Each target runs for SECONDS (default 60) from its seed corpus in the tree
# (tests/fuzz/corpus/TARGET, read only) and a working corpus of its own in
# the build folder, which keeps what it found for the next run. A crash, a
# leak, a sanitizer report or a broken check leaves its input in
# <build>/fuzz-artifacts/ and fails the target. One line per target:
#   fuzz TARGET: ok, N runs in S s  |  fuzz TARGET: FAILED (see LOG)
# The exit status is the number of failed targets (0: all ok).
#
# Build folder: SONORIUM_FUZZ_BUILD, default build-fuzz in the tree.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${SONORIUM_FUZZ_BUILD:-$ROOT/build-fuzz}
JOBS=${SONORIUM_JOBS:-2}
TARGETS="fuzz_format_text fuzz_wav fuzz_gln fuzz_pvrtc fuzz_preset_text fuzz_autosave"

which=${1:-all}
seconds=${2:-60}
if [ "$which" = all ]; then
  run=$TARGETS
elif [[ " $TARGETS " == *" $which "* ]]; then
  run=$which
else
  echo "usage: tools/fuzz.sh [TARGET|all] [SECONDS]; targets: $TARGETS" >&2
  exit 2
fi

mkdir -p "$BUILD"
if ! CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
     -DSONORIUM_FUZZ=ON -DSONORIUM_TESTS=OFF -DSONORIUM_BENCHMARKS=OFF >"$BUILD/configure.log" 2>&1; then
  tail -n 20 "$BUILD/configure.log"
  echo "fuzz: configure failed (see $BUILD/configure.log)"
  exit 1
fi
# shellcheck disable=SC2086
if ! ninja -C "$BUILD" -j"$JOBS" $run >"$BUILD/build.log" 2>&1; then
  grep -E -B2 -A12 'FAILED:|error:' "$BUILD/build.log" | head -n 60
  echo "fuzz: build failed (see $BUILD/build.log)"
  exit 1
fi

failures=0
mkdir -p "$BUILD/fuzz-artifacts" "$BUILD/fuzz-logs"
for t in $run; do
  work=$BUILD/fuzz-corpus/$t
  log=$BUILD/fuzz-logs/$t.log
  mkdir -p "$work"
  # The fuzzer's own limits: 10 s for one input, 2 GB of memory; leaks are
  # reported. Inputs of a few KB cover every format here.
  (cd "$BUILD" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
     timeout -k 10 $((seconds + 120)) "$BUILD/tests/fuzz/$t" -max_total_time="$seconds" -timeout=10 \
     -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 -artifact_prefix="$BUILD/fuzz-artifacts/$t-" \
     "$work" "$ROOT/tests/fuzz/corpus/$t") >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -n 1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
  if [ "$status" -eq 0 ] && [ -n "$runs" ]; then
    echo "fuzz $t: ok, ${runs} runs in ${took:-$seconds} s"
  else
    failures=$((failures + 1))
    echo "fuzz $t: FAILED, exit status $status (see $log)"
    grep -E -m 12 'ERROR:|runtime error:|SUMMARY:|deadly signal|Test unit written' "$log" | sed 's/^/  /'
  fi
done
exit "$failures"
