#!/usr/bin/env bash
# The Windows stage of the tests: the engine, zantic-cli.exe and the test
# programs cross-built with mingw-w64 for i686 (the main target) and
# x86_64; the tests and the image check run under wine. Needs what
# `scripts/setup.sh test` installs (mingw-w64, wine).
#
#   scripts/windows-stage.sh [run|compile|all]   default all
#
# run:     the build whose tests run here: i686 where this machine runs 32-bit
#          programs (wine32 needs the kernel's 32-bit support), else x86_64;
#          builds it and runs its tests under wine.
# compile: the other build, compiled only. Every source of the i686 build,
#          test programs included, goes through the compiler's front end
#          (scripts/syntax-check.py: its diagnostics without code generation),
#          so that a 32-bit slip shows on every machine; of the x86_64 build
#          zantic-cli.exe is built, which is all of the product code. With
#          ZANTIC_WINDOWS_FULL=1 the other build is built whole.
set -euo pipefail
cd "$(dirname "$0")/.."
part=${1:-all}
started=$SECONDS

export WINEDEBUG=-all
# A prefix of our own: wine refuses a prefix another user owns, and CI runs
# as root on a fresh clone.
export WINEPREFIX=${ZANTIC_WINEPREFIX:-$PWD/build/wine-prefix}
export WINEDLLOVERRIDES="wnaspi32=n"

if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  run_preset=win32
  compile_preset=win64
else
  run_preset=win64
  compile_preset=win32
fi

run() {
  [ "$run_preset" = win32 ] ||
    echo "windows stage: this machine runs no 32-bit programs; the i686 build is compiled only," \
      "the tests run in the x86_64 build"
  nice -n 10 cmake --preset "$run_preset" >/dev/null
  nice -n 10 cmake --build --preset "$run_preset"
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
  echo "windows stage: $run_preset built and wine ready after $((SECONDS - started)) s"
  ctest --preset "$run_preset" -j2 --timeout 300
  echo "windows stage: $run_preset tests passed after $((SECONDS - started)) s"
}

compile() {
  local targets=(--target zantic-cli)
  nice -n 10 cmake --preset "$compile_preset" >/dev/null
  if [ "${ZANTIC_WINDOWS_FULL:-0}" = 1 ]; then
    targets=()
  elif [ "$compile_preset" = win32 ]; then
    # GoogleTest's own sources are not ours to check.
    nice -n 10 python3 scripts/syntax-check.py "build/$compile_preset" -j 2 --skip /googletest/
    echo "windows stage: $compile_preset checked (every source, front end only) in $((SECONDS - started)) s"
    return
  fi
  nice -n 10 cmake --build --preset "$compile_preset" "${targets[@]}"
  echo "windows stage: $compile_preset compiled (${targets[*]:-everything}) in $((SECONDS - started)) s"
}

case "$part" in
  run) run ;;
  compile) compile ;;
  all) run && compile ;;
  *) echo "usage: $0 [run|compile|all]" >&2; exit 2 ;;
esac
