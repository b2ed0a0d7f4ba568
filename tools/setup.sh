#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test the plug-in:
# the native toolchain, GoogleTest and Google Benchmark, the i686 MinGW cross
# compiler, 32-bit Wine and Xvfb. Packages already present are skipped, so a
# second run only checks and returns.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

for p in cmake ninja-build g++ make googletest libgtest-dev libbenchmark-dev \
         g++-mingw-w64-i686 xvfb xauth; do
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

if [ ${#need[@]} -gt 0 ] || [ -n "${added_arch:-}" ]; then
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
  fi
fi
echo "setup: all build and test tools present"
