#!/usr/bin/env bash
# Builds and runs every test: the native suites under ctest (a Release build
# with warnings as errors and an AddressSanitizer + UBSan build), then the
# Windows test programs under Wine. Ends with one line
# "N passed, N failed[, N skipped]" over all of them and exits non-zero on any
# failure or build error.
#
# Windows test programs are listed in <build>/wine_tests.txt, one a line. A
# program whose name ends in "_wine_dsound" (or whose line carries the word
# "wine_dsound" after the name) runs on Wine's built-in DirectSound; all
# others run on the software card's dsound.dll, copied beside them when the
# build makes it.
#
# Build folders: build-test, build-test-asan, build-test-win (override with
# SONORIUM_BUILD_ROOT, default: the tree's root).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${SONORIUM_BUILD_ROOT:-$ROOT}
JOBS=${SONORIUM_JOBS:-2}

bash "$ROOT/tools/setup.sh" || { echo "setup failed"; echo "0 passed, 1 failed"; exit 1; }

passed=0
failed=0
skipped=0
problems=()

note_problem() {
  problems+=("$1")
  failed=$((failed + 1))
}

# Adds the counts of a ctest JUnit report.
count_junit() {
  local file=$1
  if [ ! -s "$file" ]; then
    return 1
  fi
  local line tests failures skips
  line=$(head -c 4096 "$file" | tr '\n\t' '  ' | grep -m1 -o '<testsuite [^>]*>')
  tests=$(sed -n 's/.* tests="\([0-9]*\)".*/\1/p' <<<"$line")
  failures=$(sed -n 's/.* failures="\([0-9]*\)".*/\1/p' <<<"$line")
  skips=$(sed -n 's/.* skipped="\([0-9]*\)".*/\1/p' <<<"$line")
  local errors
  errors=$(sed -n 's/.* errors="\([0-9]*\)".*/\1/p' <<<"$line")
  tests=${tests:-0} failures=${failures:-0} skips=${skips:-0} errors=${errors:-0}
  passed=$((passed + tests - failures - skips - errors))
  failed=$((failed + failures + errors))
  skipped=$((skipped + skips))
  echo "  $((tests - failures - skips - errors)) passed, $((failures + errors)) failed, $skips skipped"
}

# configure+build+ctest of one native configuration.
native_suite() {
  local name=$1 dir=$2
  shift 2
  echo "== $name: configure and build ($dir)"
  if ! cmake -S "$ROOT" -B "$dir" -G Ninja -DSONORIUM_WERROR=ON "$@" >"$dir.configure.log" 2>&1; then
    tail -n 30 "$dir.configure.log"
    note_problem "$name: configure failed (see $dir.configure.log)"
    return
  fi
  if ! ninja -C "$dir" -j"$JOBS" >"$dir.build.log" 2>&1; then
    grep -E -B2 -A12 'FAILED:|error:' "$dir.build.log" | head -n 80
    note_problem "$name: build failed (see $dir.build.log)"
    return
  fi
  echo "== $name: ctest"
  rm -f "$dir/junit.xml"
  (cd "$dir" && ctest -j"$JOBS" --output-on-failure --output-junit junit.xml) >"$dir.ctest.log" 2>&1
  grep -E '^[[:space:]]*[0-9]+/[0-9]+ Test .*(Failed|Timeout|Exception|Not Run|\*\*\*)' "$dir.ctest.log" | head -n 50
  grep -E 'tests passed|No tests were found' "$dir.ctest.log" | tail -n 1
  if ! count_junit "$dir/junit.xml"; then
    if grep -q 'No tests were found' "$dir.ctest.log"; then
      echo "  no native tests"
    else
      tail -n 30 "$dir.ctest.log"
      note_problem "$name: ctest gave no report (see $dir.ctest.log)"
    fi
  fi
}

# Runs one Windows test program under Wine and adds its GoogleTest summary.
wine_program() {
  local exe=$1 mode=$2 log=$3
  local dir
  dir=$(dirname "$exe")
  cp -f "$WIN_BUILD/engine/out_sonorium.dll" "$dir/" 2>/dev/null
  local overrides="dsound=b"
  if [ "$mode" = card ] && [ -n "$CARD_DLL" ]; then
    [ "$CARD_DLL" -ef "$dir/dsound.dll" ] || cp -f "$CARD_DLL" "$dir/dsound.dll"
    overrides="dsound=n,b"
  fi
  # "dsound=b" keeps Wine's own DirectSound even where a card DLL lies
  # beside the program for another program of the same folder.
  # Programs on Wine's own DirectSound get a HOME of their own whose ALSA
  # default device is the null device, so Wine lists one playback device on
  # any machine, with or without a sound card. WINEPREFIX stays explicit.
  local home=$HOME
  if [ "$mode" = wine ]; then
    home=$(mktemp -d)
    printf 'pcm.!default { type null }\n' >"$home/.asoundrc"
  fi
  local status
  (cd "$dir" && HOME="$home" WINEDLLOVERRIDES="$overrides" xvfb-run -a timeout -k 10 600 \
     wine "$(basename "$exe")" --gtest_brief=0 --gtest_color=no) >"$log" 2>&1
  status=$?
  [ "$mode" = wine ] && rm -rf "$home"
  local p f s
  p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" | tail -n 1)
  f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\},.*/\1/p' "$log" | tail -n 1)
  s=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\},.*/\1/p' "$log" | tail -n 1)
  if [ -z "$p$f" ]; then
    note_problem "$(basename "$exe"): no test summary, exit status $status (see $log)"
    tail -n 30 "$log"
    return
  fi
  p=${p:-0} f=${f:-0} s=${s:-0}
  passed=$((passed + p))
  failed=$((failed + f))
  skipped=$((skipped + s))
  echo "  $(basename "$exe") [$mode dsound]: $p passed, $f failed, $s skipped"
  if [ "$f" -gt 0 ]; then
    grep -E '^\[  FAILED  \] [A-Za-z_]' "$log" | sort -u | head -n 40
  elif [ "$status" -ne 0 ]; then
    note_problem "$(basename "$exe"): exit status $status after its summary (see $log)"
  fi
}

windows_suite() {
  WIN_BUILD=$BUILD_ROOT/build-test-win
  local dir=$WIN_BUILD
  echo "== windows: configure and build ($dir)"
  if ! cmake -S "$ROOT" -B "$dir" -G Ninja -DSONORIUM_WERROR=ON -DCMAKE_BUILD_TYPE=Release \
       -DSONORIUM_BENCHMARKS=OFF -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/i686-w64-mingw32.cmake" \
       >"$dir.configure.log" 2>&1; then
    tail -n 30 "$dir.configure.log"
    note_problem "windows: configure failed (see $dir.configure.log)"
    return
  fi
  if ! ninja -C "$dir" -j"$JOBS" >"$dir.build.log" 2>&1; then
    grep -E -B2 -A12 'FAILED:|error:' "$dir.build.log" | head -n 80
    note_problem "windows: build failed (see $dir.build.log)"
    return
  fi
  local list=$dir/wine_tests.txt
  if ! grep -q '[^[:space:]]' "$list" 2>/dev/null; then
    echo "  no Windows test programs"
    return
  fi

  CARD_DLL=$(find "$dir" -path "$dir/wine-prefix" -prune -o -name dsound.dll -path '*card*' -print | head -n 1)
  if [ -n "$CARD_DLL" ]; then
    echo "  software card: $CARD_DLL"
  else
    echo "  software card: not built, every program runs on Wine's DirectSound"
  fi

  export WINEPREFIX=$dir/wine-prefix
  export WINEDEBUG=-all
  export WINEARCH=win32
  if [ ! -f "$WINEPREFIX/.sonorium-ready" ]; then
    echo "== windows: creating the Wine prefix (once)"
    rm -rf "$WINEPREFIX"
    # No Mono or Gecko: nothing here needs them, and they would be fetched.
    if WINEDLLOVERRIDES="mscoree,mshtml=" timeout -k 10 900 xvfb-run -a wineboot -i \
         >"$dir.wineboot.log" 2>&1 && timeout 300 wineserver -w &&
       # A crashing program prints its backtrace instead of waiting on a dialog.
       wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
         >>"$dir.wineboot.log" 2>&1 && timeout 300 wineserver -w; then
      touch "$WINEPREFIX/.sonorium-ready"
    else
      tail -n 20 "$dir.wineboot.log"
      note_problem "windows: wineboot failed (see $dir.wineboot.log)"
      return
    fi
  fi

  echo "== windows: test programs under Wine"
  mkdir -p "$dir/wine-logs"
  local name word mode exe
  while read -r name word _; do
    [ -z "$name" ] && continue
    mode=card
    if [[ "$name" == *_wine_dsound ]] || [ "${word:-}" = wine_dsound ]; then
      mode=wine
    fi
    exe=$(find "$dir" -path "$WINEPREFIX" -prune -o -name "$name.exe" -type f -print | head -n 1)
    if [ -z "$exe" ]; then
      note_problem "$name: listed but no $name.exe was built"
      continue
    fi
    wine_program "$exe" "$mode" "$dir/wine-logs/$name.log"
  done <"$list"
  timeout 60 wineserver -k >/dev/null 2>&1 || true
}

mkdir -p "$BUILD_ROOT"
native_suite native "$BUILD_ROOT/build-test" -DCMAKE_BUILD_TYPE=Release
# The soak plays an hour of music natively (under two minutes); under the
# sanitizers, which run it some six times slower, ten minutes of it.
SONORIUM_SOAK_MINUTES=${SONORIUM_SOAK_MINUTES_ASAN:-10} \
  native_suite sanitizers "$BUILD_ROOT/build-test-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSONORIUM_SANITIZE=ON -DSONORIUM_BENCHMARKS=OFF
windows_suite

echo
for p in "${problems[@]}"; do echo "problem: $p"; done
summary="$passed passed, $failed failed"
[ "$skipped" -gt 0 ] && summary="$summary, $skipped skipped"
echo "$summary"
[ "$failed" -eq 0 ]
