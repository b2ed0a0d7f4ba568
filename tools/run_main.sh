#!/usr/bin/env bash
# The main job: installs what the machine lacks, builds the plug-in and the
# host natively, and runs the host on out_sonorium.so.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${SONORIUM_BUILD_ROOT:-$ROOT}/build
bash "$ROOT/tools/setup.sh"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$BUILD.configure.log" 2>&1 ||
  { tail -n 30 "$BUILD.configure.log"; exit 1; }
ninja -C "$BUILD" -j"${SONORIUM_JOBS:-2}" sonorium_host out_sonorium
"$BUILD/host/sonorium_host" "$BUILD/engine/out_sonorium.so"
