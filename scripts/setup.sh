#!/usr/bin/env bash
# Installs what Zantic needs on Debian and then either builds the sample image
# (run) or builds with sanitizers and runs every test (test).
#
#   scripts/setup.sh run    release build, then out/sample.iso from examples/
#   scripts/setup.sh test   AddressSanitizer build, then ctest and a minute of fuzzing
set -euo pipefail

usage() {
  echo "usage: $0 run|test" >&2
  exit 2
}

[ $# -eq 1 ] || usage
mode=$1

build_packages=(cmake ninja-build g++ libgtest-dev libgmock-dev pkg-config)
# The peer readers the interop test compares our images with.
test_packages=(xorriso genisoimage p7zip-full libcdio-utils python3 python3-pycdlib attr)
# The session-import fuzzer (libFuzzer) builds with clang.
test_packages+=(clang-14 libclang-rt-14-dev)

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

install_packages "${packages[@]}"

case "$mode" in
  run)
    cmake --preset release
    cmake --build --preset release --target zantic-cli
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
      isoinfo -f -J -i out/sample.iso
    fi
    ;;
  test)
    cmake --preset asan
    cmake --build --preset asan
    ctest --preset asan -j2
    scripts/fuzz.sh 60
    ;;
esac
