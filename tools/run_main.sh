#!/usr/bin/env bash
# The main job: installs what the machine lacks, builds the plug-in and the
# player natively, and plays the built-in demo piece through the plug-in on
# the simulated clock into out/demo.wav.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${SONORIUM_BUILD_ROOT:-$ROOT}/build
bash "$ROOT/tools/setup.sh" --native
# Logs stay inside the build folder, so running the job changes nothing tracked.
mkdir -p "$BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$BUILD/configure.log" 2>&1 ||
  { tail -n 30 "$BUILD/configure.log"; exit 1; }
ninja -C "$BUILD" -j"${SONORIUM_JOBS:-2}" sonorium_player out_sonorium
mkdir -p "$ROOT/out"
"$BUILD/host/sonorium_player" --demo --out "$ROOT/out/demo.wav"
