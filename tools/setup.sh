#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test the plug-in.
# Packages already present are skipped, so a second run only checks and
# returns.
#
#   setup.sh            everything the test command needs
#   setup.sh --native   only what the native build and the player need (the
#                       main job), so it does not depend on the Windows tools
#
# Every machine gets the native toolchain, GoogleTest, Google Benchmark, ALSA
# and libsndfile (the player plays live and reads the common formats), the
# x86-64 MinGW-w64 cross compiler, 64-bit Wine, Xvfb and the 64-bit Mesa
# OpenGL drivers. The shipped DLL is 32-bit, so the i686 cross compiler is
# always installed too; whether it can be run depends on the machine:
# - where 32-bit code runs (tools/can_run_32bit.sh), the i386 architecture is
#   added and 32-bit Wine and 32-bit Mesa are installed;
# - elsewhere the i386 architecture is never added; QEMU and debootstrap are
#   installed instead and the small Debian VM that runs the 32-bit smoke
#   suite is built once (tools/vm32.sh, cached outside the tree).
#
# Debian's security suite on the mirror can be mid-sync for days: its i386
# index then fails to download, apt sees amd64 security versions without
# their i386 twins and the resolver gives up. The install is then tried again
# preferring Debian 12's own release (-t bookworm), which resolves cleanly.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
native_only=
[ "${1:-}" = "--native" ] && native_only=1

export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

updated=
apt_update() {
  [ -n "$updated" ] && return 0
  # A mirror in the middle of a sync fails an index now and then: try again
  # a few times, then go on with the indexes that did arrive.
  local attempt
  for attempt in 1 2 3; do
    $SUDO apt-get update -qq && break
    echo "setup: apt-get update reported errors (attempt $attempt)" >&2
    [ "$attempt" -lt 3 ] && sleep $((attempt * 10))
  done
  updated=1
}

# Installs the packages given, first as apt chooses, then preferring
# bookworm's own release, retrying both for a mirror mid-sync.
install() {
  [ $# -eq 0 ] && return 0
  echo "setup: installing $*"
  apt_update
  local attempt log
  log=$(mktemp)
  for attempt in 1 2 3; do
    if $SUDO apt-get install -y -qq --no-install-recommends "$@" >"$log" 2>&1; then
      rm -f "$log"; return 0
    fi
    if $SUDO apt-get install -y -qq --no-install-recommends -t bookworm "$@" >"$log" 2>&1; then
      rm -f "$log"; return 0
    fi
    echo "setup: install failed (attempt $attempt):" >&2
    grep -E '^(E:|W:)| : Depends' "$log" | head -n 8 >&2
    [ "$attempt" -lt 3 ] && { sleep $((attempt * 20)); updated=; apt_update; }
  done
  rm -f "$log"
  echo "setup: could not install $*" >&2
  return 1
}

need=()
for p in cmake ninja-build g++ make binutils googletest libgtest-dev libbenchmark-dev libasound2-dev libsndfile1-dev; do
  have "$p" || need+=("$p")
done
install "${need[@]}"
if [ -n "$native_only" ]; then
  echo "setup: all native build tools present"
  exit 0
fi

need=()
for p in g++-mingw-w64-i686 g++-mingw-w64-x86-64 xvfb xauth wine wine64 libgl1-mesa-dri libglx-mesa0 libosmesa6-dev \
         libsoxr-dev libsamplerate0-dev clang libclang-rt-14-dev; do
  have "$p" || need+=("$p")
done

if bash "$ROOT/tools/can_run_32bit.sh"; then
  echo "setup: this machine runs 32-bit code: 32-bit Wine and Mesa"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    updated=
  fi
  for p in wine32:i386 libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386; do
    have "$p" || need+=("$p")
  done
  install "${need[@]}"
else
  echo "setup: this machine cannot run 32-bit code: the 32-bit DLL is tested in an emulated VM"
  for p in qemu-system-x86 qemu-utils debootstrap e2fsprogs; do
    have "$p" || need+=("$p")
  done
  install "${need[@]}"
  bash "$ROOT/tools/vm32.sh" build
fi
echo "setup: all build and test tools present"
