#!/usr/bin/env bash
# Runs a Windows program under wine: 32-bit programs with the 32-bit loader,
# 64-bit ones with wine64. ctest uses it as the emulator of the Windows builds.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARG...]" >&2; exit 2; }
export WINEDEBUG=${WINEDEBUG:--all}
# The machine field of the PE header: 014c is i386, 8664 is x86-64.
pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ')
case "$machine" in
  8664) loader=/usr/lib/wine/wine64 ;;
  014c) loader=/usr/lib/wine/wine ;;
  *) echo "$0: $1 is not a Windows program for x86" >&2; exit 2 ;;
esac
exec "$loader" "$@"
