#!/usr/bin/env bash
# Installs what Zantic needs on Debian and then either builds the sample image
# (run) or builds with sanitizers and runs every test (test).
#
#   scripts/setup.sh run    release build, then out/sample.iso from examples/
#   scripts/setup.sh test   AddressSanitizer build, then ctest, a ThreadSanitizer
#                           build of the threaded tests and ctest, the Windows
#                           builds with their tests under wine, and a minute
#                           of fuzzing; every stage runs, and a summary of
#                           each one's result and time ends it
set -euo pipefail

usage() {
  echo "usage: $0 run|test" >&2
  exit 2
}

[ $# -eq 1 ] || usage
mode=$1

build_packages=(cmake ninja-build g++ libgtest-dev libgmock-dev pkg-config libssl-dev)
# Power-off at the end of a burn asks logind over D-Bus (sd-bus).
build_packages+=(libsystemd-dev)
# The desktop program zantic (Qt 6 Widgets, Multimedia for its sounds); Xvfb
# gives it a screen where there is none.
build_packages+=(qt6-base-dev qt6-multimedia-dev xvfb)
# The peer readers the interop test compares our images with.
test_packages=(xorriso genisoimage p7zip-full libcdio-utils python3 python3-pycdlib attr strace)
# The package test: cpack's Debian generator reads library dependencies with
# dpkg-shlibdeps.
test_packages+=(dpkg-dev)
# The session-import fuzzer (libFuzzer) builds with clang.
test_packages+=(clang-14 libclang-rt-14-dev)
# lld links the sanitizer builds' programs.
test_packages+=(lld)
# QEMU's emulated drives in a small VM (its kernel and busybox are fetched
# with apt-get download into build/qemu-vm-cache, not installed); binutils
# strips zantic-cli for it.
test_packages+=(qemu-system-x86 binutils)
# The Windows stage: mingw-w64 for i686 and x86_64, GoogleTest's sources,
# and wine to run the programs. 32-bit wine comes from the i386 architecture,
# where the machine runs 32-bit programs at all.
test_packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest wine wine64)
# The Windows desktop stage: TrueType fonts for Qt's offscreen platform under
# wine, NSIS for the installer (Qt for Windows itself comes from
# scripts/build-qt-windows.sh).
test_packages+=(fonts-dejavu-core nsis)

case "$mode" in
  run) packages=("${build_packages[@]}") ;;
  test) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
  *) usage ;;
esac

cd "$(dirname "$0")/.."

install_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    if [ "$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null)" != installed ]; then
      missing+=("$pkg")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

# Whether this machine runs 32-bit x86 programs, as wine32 needs: a 93-byte
# i386 program that only exits. Some virtual machines run none; there the
# 32-bit Windows build is compiled but not run, and wine32 is not installed.
runs_32bit_programs() {
  local probe=build/.probe32 ok=1
  mkdir -p build
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'\
'\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null && ok=0
  rm -f "$probe"
  return "$ok"
}

if [ "$mode" = test ]; then
  if runs_32bit_programs; then
    test_packages+=(wine32:i386)
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      sudo=()
      [ "$(id -u)" -eq 0 ] || sudo=(sudo)
      "${sudo[@]}" dpkg --add-architecture i386
    fi
  else
    echo "this machine runs no 32-bit programs: wine32 is left out, the Windows tests run in the x86_64 build"
  fi
  packages=("${build_packages[@]}" "${test_packages[@]}")
fi

install_packages "${packages[@]}"

case "$mode" in
  run)
    cmake --preset release
    cmake --build --preset release --target zantic-cli zantic
    cli=build/release/src/cli/zantic-cli
    mkdir -p out
    # A blank DVD+R in a virtual recorder: the sample tree is burned onto
    # it, read back and compared, then the disc is described.
    rm -f out/sample.zvd out/sample.iso
    "$cli" vdisc create out/sample.zvd --media dvd+r
    "$cli" burn --device out/sample.zvd --verify -V ZANTIC_SAMPLE examples
    echo
    "$cli" disc-info --device out/sample.zvd
    "$cli" vdisc export out/sample.zvd out/sample.iso
    if command -v isoinfo >/dev/null; then
      echo
      echo "Joliet names on the disc (out/sample.iso, exported from out/sample.zvd):"
      # isoinfo prints Joliet names in Latin-1; the terminal reads UTF-8.
      isoinfo -f -J -i out/sample.iso | iconv -f ISO-8859-1 -t UTF-8
    fi
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      echo
      echo "starting the desktop program: build/release/src/app/zantic"
      nohup build/release/src/app/zantic >/dev/null 2>&1 &
    fi
    ;;
  test)
    echo "setup: packages ready after $SECONDS s"
    # Stages: scripts/stages.sh says how they run and how to add one.
    source scripts/stages.sh
    # ninja -k 0: a file that does not compile leaves the rest built, and the
    # tests that need it fail on their own.
    asan_build() { cmake --preset asan && cmake --build --preset asan -- -k 0; }
    asan_tests() { ctest --preset asan -j2; }
    # Only the programs that run threads: the whole suite under TSan would
    # not fit the time the test command has.
    tsan() { cmake --preset tsan && cmake --build --preset tsan --target zantic_test_programs -- -k 0 && ctest --preset tsan -j2; }
    # The other Windows build (compiled only) takes the processor the tests
    # leave idle while they wait on throttled drives and timers: at the lowest
    # priority from the sanitizer tests on, it is done or nearly so when it
    # is waited for.
    run_stage asan-build asan_build
    start_stage windows-compile 9 scripts/windows-stage.sh compile
    run_stage asan-tests asan_tests
    run_stage windows scripts/windows-stage.sh run
    # The desktop program under wine, where a Qt for Windows is at hand (it
    # exits 77, skipped, where there is none). It mostly waits on wine, so it
    # runs beside ThreadSanitizer and the fuzzers. It runs the x86_64 build,
    # which the windows stage built, or on a machine that runs 32-bit programs
    # the compile stage, after that. ZANTIC_WINDOWS_GUI=0 leaves it out.
    gui_after_compile=0
    if [ "${ZANTIC_WINDOWS_GUI:-1}" = 0 ]; then
      run_stage windows-gui bash -c 'echo "not run: ZANTIC_WINDOWS_GUI=0"; exit 77'
    elif scripts/windows-stage.sh runs-32bit; then
      gui_after_compile=1
    else
      start_stage windows-gui 0 bash scripts/windows-gui-stage.sh
    fi
    run_stage tsan tsan
    # Seeds are made with the zantic-cli built above.
    run_stage fuzz env ZANTIC_SEED_CLI=build/asan/src/cli/zantic-cli scripts/fuzz.sh 60
    wait_stage windows-compile
    if [ "$gui_after_compile" = 1 ]; then
      run_stage windows-gui bash scripts/windows-gui-stage.sh
    elif [ -n "${stage_pid[windows-gui]:-}" ]; then
      wait_stage windows-gui
    fi

    stage_report
    ;;
esac
