#!/usr/bin/env bash
# Builds and runs every test: the native suites under ctest (a Release build
# with warnings as errors and an AddressSanitizer + UBSan build), then the
# Windows builds and their test programs under Wine. Ends with one line
# "N passed, N failed[, N skipped]" over all of them and exits non-zero on any
# failure or build error.
#
# Windows: the shipped 32-bit DLL (build-test-win, i686) is built and checked
# statically in every run; the 64-bit build of the same code (build-test-win64)
# runs every Windows test program under 64-bit Wine on every machine. Where
# this machine can execute 32-bit code (tools/can_run_32bit.sh) the 32-bit
# test programs run under 32-bit Wine as well; elsewhere a 32-bit smoke suite
# of the real DLL runs under 32-bit Wine inside a small emulated Debian VM
# (tools/vm32.sh). One line says which Windows suites ran.
#
# Windows test programs are listed in <build>/wine_tests.txt, one a line. A
# program whose name ends in "_wine_dsound" (or whose line carries the word
# "wine_dsound" after the name) runs on Wine's built-in DirectSound; all
# others run on the software card's dsound.dll, copied beside them when the
# build makes it. Screenshots the UI tests take go to
# <build>/screenshots and are listed at the end.
#
# Between the native and the Windows suites: every libFuzzer target of
# tests/fuzz for a short fixed time (tools/fuzz.sh; each target one test),
# and the engine, card and device test programs and the hostile-host test
# under ThreadSanitizer, where a reported race fails its program.
#
# Build folders: build-test, build-test-asan, build-test-fuzz, build-test-tsan,
# build-test-win, build-test-win64 (override the parent with
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
  mkdir -p "$dir"
  if ! cmake -S "$ROOT" -B "$dir" -G Ninja -DSONORIUM_WERROR=ON "$@" >"$dir/configure.log" 2>&1; then
    tail -n 30 "$dir/configure.log"
    note_problem "$name: configure failed (see $dir/configure.log)"
    return
  fi
  if ! ninja -C "$dir" -j"$JOBS" >"$dir/build.log" 2>&1; then
    grep -E -B2 -A12 'FAILED:|error:' "$dir/build.log" | head -n 80
    note_problem "$name: build failed (see $dir/build.log)"
    return
  fi
  echo "== $name: ctest"
  rm -f "$dir/junit.xml"
  (cd "$dir" && ctest -j"$JOBS" --output-on-failure --output-junit junit.xml) >"$dir/ctest.log" 2>&1
  grep -E '^[[:space:]]*[0-9]+/[0-9]+ Test .*(Failed|Timeout|Exception|Not Run|\*\*\*)' "$dir/ctest.log" | head -n 50
  grep -E 'tests passed|No tests were found' "$dir/ctest.log" | tail -n 1
  if ! count_junit "$dir/junit.xml"; then
    if grep -q 'No tests were found' "$dir/ctest.log"; then
      echo "  no native tests"
    else
      tail -n 30 "$dir/ctest.log"
      note_problem "$name: ctest gave no report (see $dir/ctest.log)"
    fi
  fi
}

# Adds the GoogleTest summary of one Windows program's log.
count_gtest_log() {
  local label=$1 log=$2 status=$3
  local p f s
  p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" 2>/dev/null | tail -n 1)
  f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\},.*/\1/p' "$log" 2>/dev/null | tail -n 1)
  s=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\},.*/\1/p' "$log" 2>/dev/null | tail -n 1)
  if [ -z "$p$f" ]; then
    note_problem "$label: no test summary, exit status $status (see $log)"
    tail -n 30 "$log" 2>/dev/null
    return
  fi
  p=${p:-0} f=${f:-0} s=${s:-0}
  passed=$((passed + p))
  failed=$((failed + f))
  skipped=$((skipped + s))
  echo "  $label: $p passed, $f failed, $s skipped"
  if [ "$f" -gt 0 ]; then
    grep -E '^\[  FAILED  \] [A-Za-z_]' "$log" | sort -u | head -n 40
  elif [ "$status" -ne 0 ]; then
    note_problem "$label: exit status $status after its summary (see $log)"
  fi
}

# Runs one Windows test program under Wine and adds its GoogleTest summary.
# WIN_BUILD, CARD_DLL, WINE_LOADER and WINEPREFIX belong to the suite.
wine_program() {
  local exe=$1 mode=$2 log=$3 label=$4
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
  (cd "$dir" && HOME="$home" WINEDLLOVERRIDES="$overrides" SONORIUM_SCREENSHOTS="$SCREENSHOTS" \
     xvfb-run -a timeout -k 10 600 "$WINE_LOADER" "$(basename "$exe")" --gtest_brief=0 --gtest_color=no) \
     >"$log" 2>&1
  status=$?
  [ "$mode" = wine ] && rm -rf "$home"
  count_gtest_log "$label [$mode dsound]" "$log" "$status"
}

# Configures and builds one Windows build. $1 name, $2 folder, $3 toolchain.
windows_build() {
  local name=$1 dir=$2 toolchain=$3
  echo "== $name: configure and build ($dir)"
  mkdir -p "$dir"
  if ! cmake -S "$ROOT" -B "$dir" -G Ninja -DSONORIUM_WERROR=ON -DCMAKE_BUILD_TYPE=Release \
       -DSONORIUM_BENCHMARKS=OFF -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain.cmake" \
       >"$dir/configure.log" 2>&1; then
    tail -n 30 "$dir/configure.log"
    note_problem "$name: configure failed (see $dir/configure.log)"
    return 1
  fi
  if ! ninja -C "$dir" -j"$JOBS" >"$dir/build.log" 2>&1; then
    grep -E -B2 -A12 'FAILED:|error:' "$dir/build.log" | head -n 80
    note_problem "$name: build failed (see $dir/build.log)"
    return 1
  fi
}

# What the Windows DLLs must be, checked without running them, each check a
# test: the right machine, winampGetOutModule as the only export, and imports
# from system DLLs only (no MinGW runtime DLL needed beside it).
# $1 label, $2 DLL, $3 objdump, $4 expected file format.
dll_static_checks() {
  local label=$1 dll=$2 objdump=$3 format=$4
  local dump
  if [ ! -f "$dll" ] || ! dump=$("$objdump" -p "$dll" 2>&1); then
    note_problem "$label: $dll missing or unreadable"
    return
  fi
  check() {
    if [ "$2" = ok ]; then
      passed=$((passed + 1))
    else
      note_problem "$label: $1"
    fi
  }
  if grep -q "file format $format" <<<"$dump"; then check "format" ok; else
    check "not $format: $(grep -m1 'file format' <<<"$dump")" bad; fi
  local exports
  exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1; next} t && /^[ \t]*\[/{print $NF; next} t{t=0}' <<<"$dump" |
            sort -u | tr '\n' ' ')
  if [ "$exports" = "winampGetOutModule " ]; then check "exports" ok; else
    check "exports other than winampGetOutModule: $exports" bad; fi
  local imports bad_imports=""
  imports=$(sed -n 's/^\s*DLL Name: \(.*\)$/\1/p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
  local dllname
  for dllname in $imports; do
    case "$dllname" in
      kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|shell32.dll|dsound.dll|opengl32.dll|glu32.dll|\
      msimg32.dll|msvcrt.dll|advapi32.dll|ole32.dll|winmm.dll|comdlg32.dll|api-ms-win-*) ;;
      *) bad_imports="$bad_imports $dllname" ;;
    esac
  done
  if [ -z "$bad_imports" ] && [ -n "$imports" ]; then check "imports" ok; else
    check "imports beyond the system DLLs:${bad_imports:- (none read)}" bad; fi
  echo "  $label: $(tr '\n' ' ' <<<"$imports")"
}

# Runs every test program of a Windows build under one Wine.
# $1 name, $2 build folder, $3 Wine loader, $4 WINEARCH.
windows_run() {
  local name=$1 dir=$2 loader=$3 arch=$4
  WIN_BUILD=$dir
  WINE_LOADER=$loader
  SCREENSHOTS=$dir/screenshots
  mkdir -p "$SCREENSHOTS"
  local list=$dir/wine_tests.txt
  if ! grep -q '[^[:space:]]' "$list" 2>/dev/null; then
    echo "  no Windows test programs"
    return
  fi
  CARD_DLL=$(find "$dir" -path "$dir/wine-prefix" -prune -o -name dsound.dll -path '*card*' -print | head -n 1)
  [ -n "$CARD_DLL" ] || echo "  software card: not built, every program runs on Wine's DirectSound"

  export WINEPREFIX=$dir/wine-prefix
  export WINEDEBUG=-all
  export WINEARCH=$arch
  if [ ! -f "$WINEPREFIX/.sonorium-ready" ]; then
    echo "== $name: creating the Wine prefix (once)"
    rm -rf "$WINEPREFIX"
    # No Mono or Gecko: nothing here needs them, and they would be fetched.
    if WINEDLLOVERRIDES="mscoree,mshtml=" timeout -k 10 900 xvfb-run -a "$loader" wineboot -i \
         >"$dir/wineboot.log" 2>&1 && timeout 300 wineserver -w &&
       # A crashing program prints its backtrace instead of waiting on a dialog.
       "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
         >>"$dir/wineboot.log" 2>&1 && timeout 300 wineserver -w; then
      touch "$WINEPREFIX/.sonorium-ready"
    else
      tail -n 20 "$dir/wineboot.log"
      note_problem "$name: wineboot failed (see $dir/wineboot.log)"
      return
    fi
  fi

  echo "== $name: test programs under $(basename "$loader")"
  mkdir -p "$dir/wine-logs"
  local prog word mode exe
  while read -r prog word _; do
    [ -z "$prog" ] && continue
    mode=card
    if [[ "$prog" == *_wine_dsound ]] || [ "${word:-}" = wine_dsound ]; then
      mode=wine
    fi
    exe=$(find "$dir" -path "$WINEPREFIX" -prune -o -name "$prog.exe" -type f -print | head -n 1)
    if [ -z "$exe" ]; then
      note_problem "$name: $prog listed but no $prog.exe was built"
      continue
    fi
    wine_program "$exe" "$mode" "$dir/wine-logs/$prog.log" "$name $prog"
  done <"$list"
  timeout 60 wineserver -k >/dev/null 2>&1 || true
  unset WINEPREFIX WINEARCH
}

# The 32-bit smoke suite inside the emulated VM, for machines that cannot
# execute 32-bit code: the real DLL on the card, a song, the autosave files,
# each window once. One VM boot runs every program of the job.
vm_smoke_suite() {
  local dir=$1
  local job=$dir/vm-job
  echo "== win32 smoke suite: 32-bit Wine in the emulated VM"
  rm -rf "$job"
  mkdir -p "$job"
  local card
  card=$(find "$dir" -name dsound.dll -path '*card*' | head -n 1)
  cp -f "$dir/engine/out_sonorium.dll" "$job/"
  [ -n "$card" ] && cp -f "$card" "$job/dsound.dll"
  : >"$job/programs.txt"
  local prog exe
  for prog in $VM_SMOKE_PROGRAMS; do
    exe=$(find "$dir" -path "$dir/wine-prefix" -prune -o -path "$job" -prune -o -name "$prog.exe" -type f -print |
          head -n 1)
    if [ -z "$exe" ]; then
      note_problem "win32 smoke: no $prog.exe was built"
      continue
    fi
    cp -f "$exe" "$job/"
    local mode=card
    [[ "$prog" == *_wine_dsound ]] && mode=wine
    echo "$prog.exe $mode" >>"$job/programs.txt"
  done
  if ! timeout -k 10 1800 bash "$ROOT/tools/vm32.sh" run "$job" >"$dir/vm-run.log" 2>&1; then
    tail -n 20 "$dir/vm-run.log"
    note_problem "win32 smoke: the VM run failed (see $dir/vm-run.log)"
    return
  fi
  local line status
  while read -r line _; do
    [ -z "$line" ] && continue
    prog=${line%.exe}
    status=$(cat "$job/logs/$prog.rc" 2>/dev/null || echo 255)
    count_gtest_log "win32 (VM) $prog" "$job/logs/$prog.log" "$status"
  done <"$job/programs.txt"
}

mkdir -p "$BUILD_ROOT"
started=$(date +%s)
native_suite native "$BUILD_ROOT/build-test" -DCMAKE_BUILD_TYPE=Release
# The soak plays an hour of music natively (under two minutes); under the
# sanitizers, which run it some six times slower, ten minutes of it, and
# the hostile host 30 of its 100 seeds.
SONORIUM_SOAK_MINUTES=${SONORIUM_SOAK_MINUTES_ASAN:-10} SONORIUM_HOSTILE_SEEDS=${SONORIUM_HOSTILE_SEEDS_ASAN:-30} \
  native_suite sanitizers "$BUILD_ROOT/build-test-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSONORIUM_SANITIZE=ON -DSONORIUM_BENCHMARKS=OFF

# Each fuzz target for a fixed time from its seeds and what earlier runs
# found; a crash, sanitizer report or failed check fails that target.
fuzz_suite() {
  local dir=$1 seconds=$2
  echo "== fuzz: libFuzzer targets, ${seconds} s each ($dir)"
  local out status line
  out=$(SONORIUM_FUZZ_BUILD=$dir bash "$ROOT/tools/fuzz.sh" all "$seconds" 2>&1)
  status=$?
  echo "$out" | sed 's/^/  /'
  local ok bad
  ok=$(grep -c '^fuzz fuzz_[a-z_]*: ok' <<<"$out")
  bad=$(grep -c '^fuzz fuzz_[a-z_]*: FAILED' <<<"$out")
  passed=$((passed + ok))
  while read -r line; do
    [ -n "$line" ] && note_problem "$line"
  done < <(grep '^fuzz fuzz_[a-z_]*: FAILED' <<<"$out")
  if [ "$bad" -eq 0 ] && { [ "$status" -ne 0 ] || [ "$ok" -eq 0 ]; }; then
    note_problem "fuzz: $(tail -n 1 <<<"$out")"
  fi
}

# The test programs whose threads meet (the decoder's, the output thread,
# the card's mixer, the host's), built and run under ThreadSanitizer. A
# program with a race report fails even when its tests pass.
TSAN_PROGRAMS="engine/sonorium_engine_tests card/sonorium_card_tests device/sonorium_device_tests
  tests/hostile_host_tests"
tsan_suite() {
  local dir=$1
  local t0
  t0=$(date +%s)
  echo "== thread sanitizer: configure and build ($dir)"
  mkdir -p "$dir/tsan-logs"
  if ! cmake -S "$ROOT" -B "$dir" -G Ninja -DSONORIUM_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
       -DSONORIUM_TSAN=ON -DSONORIUM_BENCHMARKS=OFF >"$dir/configure.log" 2>&1; then
    tail -n 30 "$dir/configure.log"
    note_problem "thread sanitizer: configure failed (see $dir/configure.log)"
    return
  fi
  local targets="" prog
  for prog in $TSAN_PROGRAMS; do targets="$targets $(basename "$prog")"; done
  # shellcheck disable=SC2086
  if ! ninja -C "$dir" -j"$JOBS" $targets out_sonorium >"$dir/build.log" 2>&1; then
    grep -E -B2 -A12 'FAILED:|error:' "$dir/build.log" | head -n 80
    note_problem "thread sanitizer: build failed (see $dir/build.log)"
    return
  fi
  echo "== thread sanitizer: test programs"
  local log status races
  for prog in $TSAN_PROGRAMS; do
    log=$dir/tsan-logs/$(basename "$prog").log
    # Shorter soak and fewer hostile seeds: every access is watched.
    (cd "$dir" && SONORIUM_SOAK_MINUTES=1 SONORIUM_HOSTILE_SEEDS=10 \
       TSAN_OPTIONS="halt_on_error=0 exitcode=66 second_deadlock_stack=1 history_size=4" \
       timeout -k 10 1200 "$dir/$prog" --gtest_brief=1 --gtest_color=no) >"$log" 2>&1
    status=$?
    races=$(grep -c '^WARNING: ThreadSanitizer' "$log")
    [ "$races" -gt 0 ] && echo "  $(basename "$prog"): $races ThreadSanitizer reports (see $log)"
    count_gtest_log "tsan $(basename "$prog")" "$log" "$status"
  done
  # Simulated time runs one thread at a time, so the runs above cannot show
  # a race between the host's calls and the output thread. A host in good
  # order on the real clock can; SONORIUM_TSAN_REAL_CLOCK=1 adds that run.
  if [ "${SONORIUM_TSAN_REAL_CLOCK:-0}" = 1 ]; then
    log=$dir/tsan-logs/hostile_host_tests_real_clock.log
    (cd "$dir" && SONORIUM_HOSTILE_REAL_CLOCK=1 SONORIUM_HOSTILE_POLITE=1 SONORIUM_HOSTILE_SEEDS=6 \
       TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1" \
       timeout -k 10 300 "$dir/tests/hostile_host_tests" --gtest_filter='*Random*' --gtest_brief=1 \
       --gtest_color=no) >"$log" 2>&1
    status=$?
    races=$(grep -c '^WARNING: ThreadSanitizer' "$log")
    [ "$races" -gt 0 ] && echo "  hostile_host_tests (real clock): $races ThreadSanitizer reports (see $log)"
    count_gtest_log "tsan hostile_host_tests (real clock)" "$log" "$status"
  fi
  echo "  thread sanitizer stage: $(( $(date +%s) - t0 )) s"
}

fuzz_suite "$BUILD_ROOT/build-test-fuzz" "${SONORIUM_FUZZ_SECONDS:-15}"
tsan_suite "$BUILD_ROOT/build-test-tsan"

# The programs of the 32-bit smoke suite in the VM.
VM_SMOKE_PROGRAMS=${SONORIUM_VM_SMOKE_PROGRAMS:-"smoke_tests module_card_tests"}
WIN32_DIR=$BUILD_ROOT/build-test-win
WIN64_DIR=$BUILD_ROOT/build-test-win64
win32_built=; win64_built=
windows_build win32 "$WIN32_DIR" i686-w64-mingw32 && win32_built=1
windows_build win64 "$WIN64_DIR" x86_64-w64-mingw32 && win64_built=1
echo "== Windows DLLs, checked without running them"
if [ -n "$win32_built" ]; then
  dll_static_checks "out_sonorium.dll (32-bit)" "$WIN32_DIR/engine/out_sonorium.dll" i686-w64-mingw32-objdump pei-i386
fi
if [ -n "$win64_built" ]; then
  dll_static_checks "out_sonorium.dll (64-bit)" "$WIN64_DIR/engine/out_sonorium.dll" x86_64-w64-mingw32-objdump \
    pei-x86-64
fi

WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || echo wine64)
WINE32=/usr/lib/wine/wine
[ -x "$WINE32" ] || WINE32=$(command -v wine || echo wine)
if bash "$ROOT/tools/can_run_32bit.sh"; then
  suites="Windows suites: 64-bit under 64-bit Wine, 32-bit under 32-bit Wine"
  [ -n "$win64_built" ] && windows_run win64 "$WIN64_DIR" "$WINE64" win64
  [ -n "$win32_built" ] && windows_run win32 "$WIN32_DIR" "$WINE32" win32
else
  suites="Windows suites: 64-bit under 64-bit Wine; 32-bit Windows tests skipped: this machine cannot execute 32-bit code; 32-bit smoke suite ($VM_SMOKE_PROGRAMS) under 32-bit Wine in the emulated VM"
  [ -n "$win64_built" ] && windows_run win64 "$WIN64_DIR" "$WINE64" win64
  [ -n "$win32_built" ] && vm_smoke_suite "$WIN32_DIR"
fi

echo
shots=$(find "$WIN32_DIR/screenshots" "$WIN64_DIR/screenshots" "$BUILD_ROOT/build-test/screenshots" \
        -name '*.png' 2>/dev/null | sort)
if [ -n "$shots" ]; then
  echo "Screenshots ($(wc -l <<<"$shots")):"
  sed 's/^/  /' <<<"$shots"
fi
echo "$suites"
echo "Time: $(( ($(date +%s) - started) / 60 )) min"
for p in "${problems[@]}"; do echo "problem: $p"; done
summary="$passed passed, $failed failed"
[ "$skipped" -gt 0 ] && summary="$summary, $skipped skipped"
echo "$summary"
[ "$failed" -eq 0 ]
