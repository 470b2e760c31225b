#!/usr/bin/env bash
# The Windows stage of the tests: the engine, zantic-cli.exe and the test
# programs cross-built with mingw-w64 for i686 (the main target) and
# x86_64; the tests and the image check run under wine. Needs what
# `scripts/setup.sh test` installs (mingw-w64, wine).
#
#   scripts/windows-stage.sh [run|compile|all|runs-32bit]   default all
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
#
# Where a Qt for Windows is at hand (scripts/build-qt-windows.sh --have), the
# x86_64 build is the desktop program's (preset win64-gui, build/win64-gui):
# one build of the product for the engine's tests, zantic.exe and the windows'
# tests, which scripts/windows-gui-stage.sh then runs without compiling again.
# ZANTIC_WINDOWS_GUI=0 keeps to the plain x86_64 build.
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

qt=${ZANTIC_QT_WINDOWS:-$PWD/build/qt6-win64-6.4.2}
if [ "${ZANTIC_WINDOWS_GUI:-1}" != 0 ] && scripts/build-qt-windows.sh --have "$qt" >/dev/null 2>&1; then
  x64_preset=win64-gui
else
  x64_preset=win64
fi
[ "$run_preset" = win64 ] && run_preset=$x64_preset
[ "$compile_preset" = win64 ] && compile_preset=$x64_preset

# The Qt tree for the win64-gui preset, unpacked when only its archive is there.
ready_qt() {
  [ "$1" != win64-gui ] && return 0
  export ZANTIC_QT_WINDOWS=$qt
  scripts/build-qt-windows.sh "$qt"
}

run() {
  [ "$run_preset" = win32 ] ||
    echo "windows stage: this machine runs no 32-bit programs; the i686 build is compiled only," \
      "the tests run in the x86_64 build"
  ready_qt "$run_preset"
  cmake --preset "$run_preset" >/dev/null
  cmake --build "build/$run_preset" -j2
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
  echo "windows stage: $run_preset built and wine ready after $((SECONDS - started)) s"
  # The windows' tests are the desktop stage's (on a screen of their own).
  ctest --test-dir "build/$run_preset" -LE gui -j2 --timeout 300 --output-on-failure
  echo "windows stage: $run_preset tests passed after $((SECONDS - started)) s"
}

compile() {
  local targets=(--target zantic-cli)
  ready_qt "$compile_preset"
  nice -n 10 cmake --preset "$compile_preset" >/dev/null
  # The desktop stage runs what this builds.
  [ "$compile_preset" = win64-gui ] && targets=()
  if [ "${ZANTIC_WINDOWS_FULL:-0}" = 1 ]; then
    targets=()
  elif [ "$compile_preset" = win32 ]; then
    # GoogleTest's own sources are not ours to check.
    nice -n 10 python3 scripts/syntax-check.py "build/$compile_preset" -j 2 --skip /googletest/
    echo "windows stage: $compile_preset checked (every source, front end only) in $((SECONDS - started)) s"
    return
  fi
  nice -n 10 cmake --build "build/$compile_preset" -j2 "${targets[@]}"
  echo "windows stage: $compile_preset compiled (${targets[*]:-everything}) in $((SECONDS - started)) s"
}

case "$part" in
  run) run ;;
  compile) compile ;;
  all) run && compile ;;
  # Exit 0 where the i686 build is the one whose tests run (and the x86_64
  # build is the compile's).
  runs-32bit) [ "$run_preset" = win32 ] ;;
  *) echo "usage: $0 [run|compile|all|runs-32bit]" >&2; exit 2 ;;
esac
