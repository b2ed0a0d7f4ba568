#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test the plug-in:
# the native toolchain, GoogleTest and Google Benchmark, the i686 MinGW cross
# compiler, 32-bit Wine and Xvfb. Packages already present are skipped, so a
# second run only checks and returns.
#
# `setup.sh --native` installs only what the native build and the player
# need (the main job), so it does not depend on the Windows tools.
set -euo pipefail

native_only=
[ "${1:-}" = "--native" ] && native_only=1

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

for p in cmake ninja-build g++ make googletest libgtest-dev libbenchmark-dev; do
  have "$p" || need+=("$p")
done

if [ -z "$native_only" ]; then
  for p in g++-mingw-w64-i686 xvfb xauth; do
    have "$p" || need+=("$p")
  done
  # 32-bit Wine needs the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    added_arch=1
  fi
  for p in wine wine32:i386; do
    have "$p" || need+=("$p")
  done
  # Optional peers for the resampler benchmark; never required by the tests.
  for p in libsoxr-dev libsamplerate0-dev; do
    have "$p" || need+=("$p")
  done
fi

if [ ${#need[@]} -gt 0 ] || [ -n "${added_arch:-}" ]; then
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  # A mirror in the middle of a sync fails an index now and then: try again
  # a few times, then go on with the indexes that did arrive (the install
  # below says clearly if a package is still out of reach).
  for attempt in 1 2 3 4; do
    $SUDO apt-get update -qq && break
    echo "setup: apt-get update failed (attempt $attempt)" >&2
    [ "$attempt" -lt 4 ] && sleep $((attempt * 15))
  done
  if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    for attempt in 1 2 3; do
      if $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null; then
        break
      fi
      if [ "$attempt" -eq 3 ]; then
        echo "setup: could not install ${need[*]}" >&2
        exit 1
      fi
      sleep $((attempt * 20))
      $SUDO apt-get update -qq || true
    done
  fi
fi
if [ -n "$native_only" ]; then
  echo "setup: all native build tools present"
else
  echo "setup: all build and test tools present"
fi
