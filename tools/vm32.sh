#!/usr/bin/env bash
# Runs 32-bit Windows test programs under 32-bit Wine inside a small emulated
# Debian 12 machine, for hosts whose kernel cannot execute i386 code (there
# every 32-bit ELF, 32-bit Wine included, fails with "Exec format error").
# The guest runs its own amd64 kernel, which does run i386 code.
#
#   tools/vm32.sh build      makes the machine image if it is missing or its
#                            recipe changed (4-15 minutes), else returns.
#   tools/vm32.sh run JOBDIR runs the programs of JOBDIR in one boot (builds
#                            the image first if needed).
#
# JOBDIR holds the programs with their DLLs and a file programs.txt, one line
# a program:
#     NAME.exe card|wine [args...]
# "card" runs with WINEDLLOVERRIDES="dsound=n,b", so the software card's
# dsound.dll beside the program stands in for DirectSound; "wine" runs on
# Wine's own DirectSound ("dsound=b") with a HOME whose ALSA default device
# is the null device. Each program runs as
#     xvfb-run -a timeout ... wine NAME.exe --gtest_color=no [args...]
# with WINEDEBUG=-all; its output comes back in JOBDIR/logs/NAME.log and its
# exit status in JOBDIR/logs/NAME.rc (124 or 137: the per-program timeout,
# 125: a bad line). The guest's console is JOBDIR/logs/console.log.
# `run` exits 0 when the machine finished and every program has its result,
# whatever the programs' own exit statuses; non-zero otherwise.
#
# Needs: qemu-system-x86_64, debootstrap (build only, as root), mkfs.ext4 and
# debugfs (e2fsprogs), flock, timeout. The image lives outside the tree.
#
# Environment:
#   SONORIUM_VM_CACHE            image folder (default /var/cache/sonorium/vm32)
#   SONORIUM_VM_MIRROR           Debian mirror (default http://deb.debian.org/debian)
#   SONORIUM_VM_ACCEL            tcg (the default), kvm, or auto (KVM when
#                                /dev/kvm is usable; some nested hosts hang)
#   SONORIUM_VM_CPU              QEMU processor model under TCG (max,-smap)
#   SONORIUM_VM_CPUS, SONORIUM_VM_MEMORY   guest CPUs (2) and MiB (2048)
#   SONORIUM_VM_PROGRAM_TIMEOUT  seconds one program may take (default 900)
#   SONORIUM_VM_TIMEOUT          seconds the whole boot may take (default:
#                                derived from the program count)
set -euo pipefail

CACHE=${SONORIUM_VM_CACHE:-/var/cache/sonorium/vm32}
MIRROR=${SONORIUM_VM_MIRROR:-http://deb.debian.org/debian}
SUITE=bookworm
ACCEL=${SONORIUM_VM_ACCEL:-tcg}
CPUS=${SONORIUM_VM_CPUS:-2}
MEMORY=${SONORIUM_VM_MEMORY:-2048}
PROGRAM_TIMEOUT=${SONORIUM_VM_PROGRAM_TIMEOUT:-900}
# The emulated processor: everything TCG can do (SSE4, AVX2) but SMAP, whose
# emulation faults the 32-bit iret that Wine's i386 code runs (a kernel oops
# in wineboot.exe with QEMU 7.2).
CPU=${SONORIUM_VM_CPU:-max,-smap}

# What goes into the image. Any change here, in the guest's init below or in
# build_image changes the recipe stamp, and the next build starts afresh.
RECIPE_VERSION=1
PACKAGES="linux-image-amd64 initramfs-tools wine wine32:i386 xvfb xauth"
GUEST_PREFIX=/root/wp32

# PID 1 of the guest: mounts what programs need, runs the script that the
# job disk (/dev/vdb) carries, and powers the machine off. Kept generic so
# that what a job does can change without rebuilding the image.
GUEST_INIT=$(cat <<'EOF'
#!/bin/bash
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root LANG=C.UTF-8 TERM=dumb
say() { echo "sonorium-vm: $*" >/dev/console; }
off() {
  cd /
  umount /job 2>/dev/null
  sync
  mount -o remount,ro / 2>/dev/null
  sync
  echo o >/proc/sysrq-trigger
  sleep 60
  exit 1   # with panic=-1 and -no-reboot the machine still stops
}
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mountpoint -q /dev/pts || mount -t devpts devpts /dev/pts
mountpoint -q /dev/shm || mount -t tmpfs tmpfs /dev/shm
mountpoint -q /run || mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
mount -o remount,rw /
mkdir -p /job
for i in $(seq 1 100); do [ -b /dev/vdb ] && break; sleep 0.1; done
if ! mount -t ext4 /dev/vdb /job; then
  say "no job disk"
  off
fi
if [ -f /job/guest.sh ]; then
  say "job started"
  bash /job/guest.sh
  say "job ended with status $?"
else
  say "the job disk has no guest.sh"
fi
off
EOF
)

die() { echo "vm32: $*" >&2; exit 1; }
step() { echo "vm32: $*"; }
now() { date +%s; }

# The recipe: the settings above and the code that builds the image.
recipe_stamp() {
  { printf '%s\n' "$RECIPE_VERSION" "$SUITE" "$MIRROR" "$PACKAGES" "$GUEST_PREFIX" "$GUEST_INIT"
    declare -f build_image make_disk; } | sha256sum | cut -c1-16
}

image_ready() {
  [ -f "$CACHE/stamp" ] && [ "$(cat "$CACHE/stamp")" = "$(recipe_stamp)" ] &&
    [ -f "$CACHE/root.img" ] && [ -f "$CACHE/vmlinuz" ] && [ -f "$CACHE/initrd.img" ]
}

pick_accel() {
  case $ACCEL in
    kvm|tcg) echo "$ACCEL" ;;
    auto) if [ -r /dev/kvm ] && [ -w /dev/kvm ]; then echo kvm; else echo tcg; fi ;;
    *) die "SONORIUM_VM_ACCEL must be auto, kvm or tcg (is '$ACCEL')" ;;
  esac
}

# Boots the machine once. Arguments: the folder with vmlinuz and
# initrd.img, root image, "snapshot" or "write", job image, console log,
# seconds allowed.
boot_vm() {
  local boot=$1 root=$2 mode=$3 job=$4 console=$5 limit=$6
  local accel snap=off cpu=$CPU
  accel=$(pick_accel)
  [ "$mode" = snapshot ] && snap=on
  [ "$accel" = kvm ] && cpu=host
  step "booting the machine ($accel, $CPUS CPUs, $MEMORY MiB, at most ${limit}s)"
  local status=0
  timeout -k 15 "$limit" qemu-system-x86_64 \
    -accel "$accel" -cpu "$cpu" -m "$MEMORY" -smp "$CPUS" \
    -nodefaults -display none -no-reboot -no-user-config \
    -serial "file:$console" -monitor none \
    -kernel "$boot/vmlinuz" -initrd "$boot/initrd.img" \
    -append "root=/dev/vda rootfstype=ext4 rw console=ttyS0 panic=-1 loglevel=4 init=/usr/local/sbin/sonorium-init" \
    -drive "file=$root,format=raw,if=virtio,snapshot=$snap,cache=unsafe,discard=unmap" \
    -drive "file=$job,format=raw,if=virtio,cache=writeback" \
    </dev/null >>"$console.qemu" 2>&1 || status=$?
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "vm32: the machine did not finish within ${limit}s; last console lines:" >&2
    tail -n 20 "$console" >&2 || true
    return 1
  fi
  if [ "$status" -ne 0 ]; then
    echo "vm32: qemu failed with status $status:" >&2
    tail -n 20 "$console.qemu" >&2 || true
    return 1
  fi
  return 0
}

# Makes an ext4 image of a folder, with room to spare.
make_disk() {
  local dir=$1 image=$2 spare_mb=$3
  local used_mb
  used_mb=$(du -sm "$dir" | cut -f1)
  rm -f "$image"
  truncate -s $(((used_mb * 5 / 4 + spare_mb) * 1024 * 1024)) "$image"
  mkfs.ext4 -q -F -m 0 -E root_owner=0:0 -d "$dir" "$image" >/dev/null
}

# Runs a command in the image tree, at most `seconds` long.
run_chroot() {
  local seconds=$1 root=$2
  shift 2
  timeout -k 30 "$seconds" env -i LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive HOME=/root \
    PATH=/usr/sbin:/usr/bin:/sbin:/bin chroot "$root" "$@"
}

# Leaves no file system mounted under the root tree (so removing it cannot
# reach the host).
unmount_under() {
  local root=$1 m
  while read -r m; do
    umount -l "$m" 2>/dev/null || true
  done < <(awk -v r="$root" 'index($2, r "/") == 1 { print $2 }' /proc/mounts | sort -r)
}

remove_tree() {
  local root=$1
  [ -e "$root" ] || return 0
  unmount_under "$root"
  if awk -v r="$root" 'index($2, r "/") == 1 { found = 1 } END { exit !found }' /proc/mounts; then
    die "$root still has mounts; not removing it"
  fi
  rm -rf --one-file-system "$root"
}

build_image() {
  mkdir -p "$CACHE"
  exec 9>"$CACHE/.lock"
  flock -w 3600 9 || die "another build holds $CACHE/.lock"
  if image_ready; then
    step "image is up to date ($CACHE)"
    exec 9>&-
    return 0
  fi
  [ "$(id -u)" -eq 0 ] || die "building the image needs root (debootstrap, chroot)"
  local need
  for need in debootstrap qemu-system-x86_64 mkfs.ext4 debugfs chroot; do
    command -v "$need" >/dev/null || die "$need is missing (tools/setup.sh installs it)"
  done
  local t0 t
  t0=$(now)
  local work=$CACHE/work
  local log=$CACHE/build.log
  remove_tree "$work"
  mkdir -p "$work"
  : >"$log"
  trap 'unmount_under "'"$work"'/rootfs"' EXIT
  local rootfs=$work/rootfs
  step "building the image in $CACHE (log: $log)"

  # 1. The base system. A mirror in the middle of a sync fails now and then.
  t=$(now)
  local attempt ok=
  for attempt in 1 2 3 4; do
    remove_tree "$rootfs"
    step "debootstrap $SUITE from $MIRROR (attempt $attempt)"
    if timeout -k 30 1800 debootstrap --variant=minbase --arch=amd64 \
         --components=main "$SUITE" "$rootfs" "$MIRROR" >>"$log" 2>&1; then
      ok=1
      break
    fi
    tail -n 5 "$log" >&2
    [ "$attempt" -lt 4 ] && sleep $((attempt * 30))
  done
  [ -n "$ok" ] || die "debootstrap failed four times (see $log)"
  step "base system ready in $(($(now) - t))s"

  # 2. Packages: the kernel, 32-bit Wine and Xvfb. No documentation, and no
  # security suite (it is often mid-sync and breaks i386 installs).
  t=$(now)
  cat >"$rootfs/etc/apt/sources.list" <<EOF
deb $MIRROR $SUITE main
deb $MIRROR $SUITE-updates main
EOF
  cat >"$rootfs/etc/dpkg/dpkg.cfg.d/01-sonorium-nodoc" <<'EOF'
path-exclude=/usr/share/doc/*
path-include=/usr/share/doc/*/copyright
path-exclude=/usr/share/man/*
path-exclude=/usr/share/info/*
path-exclude=/usr/share/locale/*
path-exclude=/usr/share/lintian/*
EOF
  cat >"$rootfs/etc/apt/apt.conf.d/01-sonorium" <<'EOF'
APT::Install-Recommends "false";
APT::Install-Suggests "false";
Acquire::Retries "3";
EOF
  printf '#!/bin/sh\nexit 101\n' >"$rootfs/usr/sbin/policy-rc.d"
  chmod 755 "$rootfs/usr/sbin/policy-rc.d"
  mount -t proc proc "$rootfs/proc"
  run_chroot 60 "$rootfs" dpkg --add-architecture i386
  ok=
  for attempt in 1 2 3 4; do
    step "installing $PACKAGES (attempt $attempt)"
    if run_chroot 900 "$rootfs" apt-get update >>"$log" 2>&1 &&
       run_chroot 1800 "$rootfs" apt-get install -y --no-install-recommends \
         -t "$SUITE" $PACKAGES >>"$log" 2>&1; then
      ok=1
      break
    fi
    tail -n 5 "$log" >&2
    [ "$attempt" -lt 4 ] && sleep $((attempt * 30))
  done
  [ -n "$ok" ] || die "package installation failed four times (see $log)"
  run_chroot 300 "$rootfs" apt-get clean >>"$log" 2>&1
  umount "$rootfs/proc"
  step "packages installed in $(($(now) - t))s"

  # 3. Kernel and initramfs go beside the image; the guest needs no modules
  # once the initramfs has mounted its disks, so they leave the image.
  local kernel initrd
  kernel=$(ls "$rootfs"/boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1)
  initrd=$(ls "$rootfs"/boot/initrd.img-* 2>/dev/null | sort -V | tail -n 1)
  [ -n "$kernel" ] && [ -n "$initrd" ] || die "the image has no kernel or initramfs in /boot"
  cp "$kernel" "$work/vmlinuz"
  cp "$initrd" "$work/initrd.img"
  rm -rf "${rootfs:?}"/boot/* "$rootfs"/lib/modules/* "$rootfs"/var/lib/apt/lists/* \
    "$rootfs"/var/cache/apt/*.bin "$rootfs"/var/log/*.log "$rootfs"/usr/share/doc \
    "$rootfs"/usr/share/man "$rootfs"/usr/share/locale
  rm -f "$rootfs/usr/sbin/policy-rc.d"
  # Wine's Windows-side DLLs carry their debug information, more than half
  # their size; the prefix copies them once more. The tests do not need it.
  if command -v strip >/dev/null; then
    local f
    for f in "$rootfs"/usr/lib/*-linux-gnu/wine/*-windows/*; do
      strip --strip-debug "$f" 2>/dev/null || true
    done
  else
    step "no strip on this machine: Wine's DLLs keep their debug information"
  fi
  printf '%s\n' "$GUEST_INIT" >"$rootfs/usr/local/sbin/sonorium-init"
  chmod 755 "$rootfs/usr/local/sbin/sonorium-init"
  echo sonorium-vm >"$rootfs/etc/hostname"
  printf '127.0.0.1 localhost sonorium-vm\n' >"$rootfs/etc/hosts"

  # 4. The root disk: the tree plus room for the Wine prefix.
  t=$(now)
  make_disk "$rootfs" "$work/root.img" 600
  remove_tree "$rootfs"
  trap - EXIT
  step "root disk made in $(($(now) - t))s ($(du -sh --apparent-size "$work/root.img" | cut -f1) apparent, $(du -sh "$work/root.img" | cut -f1) used)"

  # 5. The Wine prefix, made once by booting the machine (it needs i386
  # execution, which the host may lack).
  t=$(now)
  mkdir -p "$work/jobfs/logs"
  cat >"$work/jobfs/guest.sh" <<EOF
export WINEPREFIX=$GUEST_PREFIX WINEARCH=win32 WINEDEBUG=-all
cd /job
status=0
# No Mono or Gecko: nothing here needs them, and they would be fetched.
WINEDLLOVERRIDES="mscoree,mshtml=" timeout -k 10 900 xvfb-run -a wineboot -i >logs/prepare.log 2>&1 || status=\$?
timeout 300 wineserver -w >>logs/prepare.log 2>&1 || true
if [ "\$status" -eq 0 ]; then
  # A crashing program prints its backtrace instead of waiting on a dialog.
  timeout -k 10 300 wine reg add 'HKCU\\Software\\Wine\\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \\
    >>logs/prepare.log 2>&1 || status=\$?
  timeout 300 wineserver -w >>logs/prepare.log 2>&1 || true
fi
# The prefix holds copies of Wine's DLLs: hard links to them instead, and
# the freed blocks handed back to the host's sparse image file.
for f in "\$WINEPREFIX"/drive_c/windows/system32/*; do
  lib=/usr/lib/i386-linux-gnu/wine/i386-windows/\${f##*/}
  [ -f "\$f" ] && [ -f "\$lib" ] && cmp -s "\$f" "\$lib" && ln -f "\$lib" "\$f"
done
sync
fstrim -v / >>logs/prepare.log 2>&1 || true
[ "\$status" -eq 0 ] && [ -f "\$WINEPREFIX/system.reg" ] && touch "\$WINEPREFIX/.sonorium-ready"
du -sh "\$WINEPREFIX" >>logs/prepare.log 2>&1
echo "\$status" >logs/prepare.rc
sync
EOF
  make_disk "$work/jobfs" "$work/job.img" 64
  boot_vm "$work" "$work/root.img" write "$work/job.img" "$work/console.log" 1800 ||
    die "the first boot (Wine prefix) did not finish (see $work/console.log)"
  rm -rf "$work/back"
  mkdir -p "$work/back"
  debugfs -R "rdump /logs $work/back" "$work/job.img" >/dev/null 2>&1 || true
  if [ "$(cat "$work/back/logs/prepare.rc" 2>/dev/null)" != 0 ]; then
    tail -n 20 "$work/back/logs/prepare.log" >&2 2>/dev/null || true
    die "wineboot failed in the machine (see $work/back/logs/prepare.log, $work/console.log)"
  fi
  debugfs -R "stat $GUEST_PREFIX/.sonorium-ready" "$work/root.img" 2>/dev/null | grep -q '^Inode:' ||
    die "the Wine prefix was not saved in the image (see $work/console.log)"
  e2fsck -fp "$work/root.img" >>"$log" 2>&1 || die "the root disk is not clean after the first boot (see $log)"
  step "Wine prefix made in $(($(now) - t))s"

  mv -f "$work/root.img" "$CACHE/root.img"
  mv -f "$work/vmlinuz" "$CACHE/vmlinuz"
  mv -f "$work/initrd.img" "$CACHE/initrd.img"
  recipe_stamp >"$CACHE/stamp"
  remove_tree "$work"
  step "image built in $(($(now) - t0))s: $CACHE ($(du -sh "$CACHE/root.img" | cut -f1) on disk)"
  exec 9>&-
}

run_job() {
  local jobdir=$1
  [ -d "$jobdir" ] || die "no job folder $jobdir"
  jobdir=$(cd "$jobdir" && pwd)
  [ -f "$jobdir/programs.txt" ] || die "$jobdir has no programs.txt"
  command -v qemu-system-x86_64 >/dev/null || die "qemu-system-x86_64 is missing (tools/setup.sh installs it)"
  command -v debugfs >/dev/null || die "debugfs is missing (e2fsprogs)"

  # The program list, checked here so a typo fails before the boot.
  local names=() line name mode
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%$'\r'}
    read -r name mode _ <<<"$line" || true
    [ -z "${name:-}" ] || [[ "$name" == \#* ]] && continue
    [ -f "$jobdir/$name" ] || die "programs.txt lists $name, which is not in $jobdir"
    case $mode in card|wine) ;; *) die "programs.txt: '$name' needs the mode card or wine, not '${mode:-}'" ;; esac
    names+=("${name%.exe}")
  done <"$jobdir/programs.txt"
  [ ${#names[@]} -gt 0 ] || die "programs.txt lists no program"

  if ! image_ready; then
    build_image
  fi
  mkdir -p "$CACHE"
  exec 8>>"$CACHE/.lock"
  flock -s -w 3600 8 || die "the image is being rebuilt; gave up waiting"
  image_ready || die "the image is not ready (tools/vm32.sh build)"

  local tmp
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/sonorium-vm.XXXXXX")
  trap 'rm -rf "'"$tmp"'"' EXIT
  mkdir -p "$tmp/jobfs"
  # The job folder without old results.
  tar -C "$jobdir" --exclude=./logs -cf - . | tar -C "$tmp/jobfs" -xf -
  mkdir -p "$tmp/jobfs/logs"
  cat >"$tmp/jobfs/guest.sh" <<EOF
export WINEPREFIX=$GUEST_PREFIX WINEARCH=win32 WINEDEBUG=-all
limit=$PROGRAM_TIMEOUT
EOF
  cat >>"$tmp/jobfs/guest.sh" <<'EOF'
cd /job
while IFS= read -r line || [ -n "$line" ]; do
  line=${line%$'\r'}
  read -r -a words <<<"$line"
  [ ${#words[@]} -eq 0 ] && continue
  [[ "${words[0]}" == \#* ]] && continue
  exe=${words[0]} mode=${words[1]:-} base=${exe%.exe}
  args=("${words[@]:2}")
  home=/root overrides=
  case $mode in
    card) overrides="dsound=n,b" ;;
    wine)
      # Wine's own DirectSound, on an ALSA null device: one playback device
      # whether or not the machine has a sound card.
      overrides="dsound=b"
      home=$(mktemp -d)
      printf 'pcm.!default { type null }\n' >"$home/.asoundrc" ;;
    *) echo "unknown mode '$mode'" >"logs/$base.log"; echo 125 >"logs/$base.rc"; continue ;;
  esac
  echo "sonorium-vm: $(date -u +%T) $exe ($mode) started" >/dev/console
  start=$(date +%s)
  status=0
  HOME=$home WINEDLLOVERRIDES=$overrides xvfb-run -a timeout -k 10 "$limit" \
    wine "$exe" --gtest_color=no "${args[@]}" >"logs/$base.log" 2>&1 </dev/null || status=$?
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  echo "$status" >"logs/$base.rc"
  echo "sonorium-vm: $(date -u +%T) $exe ended with status $status after $(($(date +%s) - start))s" >/dev/console
  [ "$home" != /root ] && rm -rf "$home"
  sync
done <programs.txt
touch logs/.finished
sync
EOF
  make_disk "$tmp/jobfs" "$tmp/job.img" 256

  local limit=${SONORIUM_VM_TIMEOUT:-$((300 + ${#names[@]} * (PROGRAM_TIMEOUT + 60)))}
  local console=$tmp/console.log
  : >"$console"
  local t0 booted=0
  t0=$(now)
  boot_vm "$CACHE" "$CACHE/root.img" snapshot "$tmp/job.img" "$console" "$limit" || booted=$?

  rm -rf "$jobdir/logs"
  debugfs -R "rdump /logs $jobdir" "$tmp/job.img" >/dev/null 2>&1 || true
  mkdir -p "$jobdir/logs"
  cp -f "$console" "$jobdir/logs/console.log"
  [ -s "$console.qemu" ] && cp -f "$console.qemu" "$jobdir/logs/qemu.log"
  [ "$booted" -eq 0 ] || die "the machine did not finish (see $jobdir/logs/console.log)"
  [ -f "$jobdir/logs/.finished" ] ||
    die "the machine stopped before the job finished (see $jobdir/logs/console.log)"
  local missing=0 base
  for base in "${names[@]}"; do
    if [ -f "$jobdir/logs/$base.rc" ]; then
      step "$base: exit status $(cat "$jobdir/logs/$base.rc")"
    else
      echo "vm32: no result came back for $base" >&2
      missing=1
    fi
  done
  [ "$missing" -eq 0 ] || die "results are missing (see $jobdir/logs/console.log)"
  step "all programs ran in $(($(now) - t0))s (boot included); logs in $jobdir/logs"
}

case ${1:-} in
  build) [ $# -eq 1 ] || die "usage: $0 build"; build_image ;;
  run) [ $# -eq 2 ] || die "usage: $0 run JOBDIR"; run_job "$2" ;;
  *) echo "usage: $0 build | run JOBDIR" >&2; exit 2 ;;
esac
