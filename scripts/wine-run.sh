#!/usr/bin/env bash
# Runs a Windows program under wine: 32-bit programs with the 32-bit loader,
# 64-bit ones with wine64. ctest uses it as the emulator of the Windows builds.
#
# Wine now and then fails to start a program at all: it ends at once, nonzero,
# having printed nothing (once in a CI run, never in hundreds of runs here).
# A program that printed nothing cannot have run a test, so such a start is
# made once more, with wine's errors shown, and said so; a program that fails
# the same way twice fails.
#
# --qt DIR: the program loads the Qt DLLs of DIR (a Qt for x86_64 mingw-w64)
# and mingw-w64's C++ runtime DLLs; wine finds both through WINEPATH, and Qt
# its plugins through QT_PLUGIN_PATH. Offscreen windows draw their text with
# the TrueType fonts of QT_QPA_FONTDIR (DejaVu unless the caller names one).
# ZANTIC_WINE_QPA, when set, takes the place of the QT_QPA_PLATFORM the test
# entries give (offscreen): "windows" draws through wine on an X display, as
# a Windows user sees the windows.
set -uo pipefail
# A Unix path as wine sees it: the root is drive Z:.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
if [ "${1:-}" = --qt ]; then
  [ $# -ge 2 ] || { echo "usage: $0 [--qt DIR] PROGRAM.exe [ARG...]" >&2; exit 2; }
  qt=$2
  shift 2
  runtime=$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix 2>/dev/null | sort -V | tail -n1)
  export WINEPATH="$(winpath "$qt/bin");$(winpath "$runtime");$(winpath /usr/x86_64-w64-mingw32/lib)${WINEPATH:+;$WINEPATH}"
  export QT_PLUGIN_PATH=${QT_PLUGIN_PATH:-$(winpath "$qt/plugins")}
  [ -n "${QT_QPA_FONTDIR:-}" ] || [ ! -d /usr/share/fonts/truetype/dejavu ] ||
    export QT_QPA_FONTDIR=$(winpath /usr/share/fonts/truetype/dejavu)
  [ -z "${ZANTIC_WINE_QPA:-}" ] || export QT_QPA_PLATFORM=$ZANTIC_WINE_QPA
fi
[ $# -ge 1 ] || { echo "usage: $0 [--qt DIR] PROGRAM.exe [ARG...]" >&2; exit 2; }
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
