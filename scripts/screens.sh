#!/usr/bin/env bash
# Starts the program's windows under Xvfb with a fresh program folder and
# saves a PNG of each into out/screens/. BUILD_DIR picks the build
# (default build/debug, configured and built here when needed).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build/debug}
if [ ! -f "$build/build.ninja" ]; then
  cmake --preset debug
fi
cmake --build "$build" -j2 --target zantic-screens

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
rm -rf out/screens
mkdir -p out/screens
ZANTIC_HOME=$home/program XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/gui/zantic-screens" out/screens
echo "screens: $(find out/screens -name '*.png' | wc -l) pictures in out/screens"
