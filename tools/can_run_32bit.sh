#!/usr/bin/env bash
# Exits 0 when this machine can execute 32-bit x86 programs, 1 when it
# cannot (a kernel without IA-32 emulation refuses any i386 ELF with "Exec
# format error", so 32-bit Wine cannot run there). Needs only binutils: a
# three-instruction i386 program is assembled, linked and run.
#
# SONORIUM_NO_32BIT=1 answers "cannot" without probing, to try the path of
# such machines on one that can.
set -u
[ "${SONORIUM_NO_32BIT:-0}" = 1 ] && exit 1
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
cat >"$dir/p.s" <<'ASM'
.globl _start
_start:
  movl $1, %eax
  xorl %ebx, %ebx
  int $0x80
ASM
as --32 -o "$dir/p.o" "$dir/p.s" 2>/dev/null || exit 1
ld -m elf_i386 -o "$dir/p" "$dir/p.o" 2>/dev/null || exit 1
"$dir/p" 2>/dev/null
