#!/usr/bin/env bash
# Runs a Windows program under wine: 32-bit programs with the 32-bit loader,
# 64-bit ones with wine64. ctest uses it as the emulator of the Windows builds.
#
# Wine now and then fails to start a program at all: it ends at once, nonzero,
# having printed nothing (once in a CI run, never in hundreds of runs here).
# A program that printed nothing cannot have run a test, so such a start is
# made once more, with wine's errors shown, and said so; a program that fails
# the same way twice fails.
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARG...]" >&2; exit 2; }
export WINEDEBUG=${WINEDEBUG:--all}
# The machine field of the PE header: 014c is i386, 8664 is x86-64.
pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ') || exit 2
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ') || exit 2
case "$machine" in
  8664) loader=/usr/lib/wine/wine64 ;;
  014c) loader=/usr/lib/wine/wine ;;
  *) echo "$0: $1 is not a Windows program for x86" >&2; exit 2 ;;
esac

scratch=$(mktemp -d) || exit 2
trap 'rm -rf "$scratch"' EXIT
for attempt in 1 2; do
  started=$(date +%s%N)
  "$loader" "$@" >"$scratch/out" 2>"$scratch/err"
  rc=$?
  cat "$scratch/out"
  cat "$scratch/err" >&2
  [ "$rc" -eq 0 ] && exit 0
  ms=$((($(date +%s%N) - started) / 1000000))
  echo "$0: $(basename "$1") ended with $rc after $ms ms (attempt $attempt)" >&2
  [ -s "$scratch/out" ] || [ -s "$scratch/err" ] && exit "$rc"
  # Wine's own errors on the second start, so that a repeat says why.
  export WINEDEBUG=err+all,fixme-all
done
exit "$rc"
