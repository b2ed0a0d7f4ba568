#!/usr/bin/env bash
# Speed of the whole player on the simulated clock: a synthesized 60 s
# playlist (three songs) rendered with the room on and with it off. Prints
# seconds of music rendered per second of machine time for both.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${SONORIUM_BUILD:-${SONORIUM_BUILD_ROOT:-$ROOT}/build}
SECONDS_OF_MUSIC=${1:-60}
if [ ! -x "$BUILD/host/sonorium_player" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$BUILD.configure.log" 2>&1 ||
    { tail -n 30 "$BUILD.configure.log"; exit 1; }
  ninja -C "$BUILD" -j"${SONORIUM_JOBS:-2}" sonorium_player out_sonorium
fi
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$BUILD/host/sonorium_player" --write-demo "$WORK" --demo-seconds "$SECONDS_OF_MUSIC" -q
for room in on off; do
  line=$("$BUILD/host/sonorium_player" --room "$room" --tail 0 --out "$WORK/room-$room.wav" \
           "$WORK/song1.wav" "$WORK/song2.wav" "$WORK/song3.wav" | grep '^rendered ')
  echo "room $room: $line"
done
