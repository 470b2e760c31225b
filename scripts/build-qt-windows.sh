#!/usr/bin/env bash
# Qt 6 for x86_64 Windows (mingw-w64), which the desktop program's Windows
# build (preset win64-gui) compiles against: Core, Gui, Widgets, Network,
# PrintSupport, Test, the windows and offscreen platforms, the Windows style.
#
#   scripts/build-qt-windows.sh [--dry-run|--have] [DEST]
#
# DEST defaults to build/qt6-win64-6.4.2 (where the preset looks; another
# place is given to it as ZANTIC_QT_WINDOWS). Nothing is done when DEST
# already holds a finished tree.
#
# Where an archive of such a tree is found ($ZANTIC_QT_ARCHIVE, else
# shared/toolchains/qt6-win64-6.4.2.tar.xz beside the source tree or a folder
# above it), it is unpacked: seconds. Otherwise Qt is built from Debian's
# qt6-base source package of the host's Qt version: about 31 minutes on two
# cores (1,313 steps), 2 GB of disk while it builds. Both ways give the same
# tree, relocatable: its qt.toolchain.cmake chain-loads the mingw-w64
# toolchain file beside it.
#
# --dry-run: says which way it would go and prints the build's commands
# without running them.
# --have: exits 0 when DEST is ready or an archive is found (so that getting
# Qt takes seconds), 1 when Qt would have to be built from source.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

dry=0
have=0
case "${1:-}" in
  --dry-run) dry=1; shift ;;
  --have) have=1; shift ;;
esac
version=6.4.2
name=qt6-win64-$version
dest=${1:-$root/build/$name}
case "$dest" in /*) ;; *) dest=$PWD/$dest ;; esac
stamp=$dest/.zantic-qt-complete
started=$SECONDS

say() { echo "build-qt-windows: $*"; }
run() {
  echo "+ $*"
  [ "$dry" = 1 ] || "$@"
}

if [ -f "$stamp" ] && [ -f "$dest/lib/cmake/Qt6/Qt6Config.cmake" ]; then
  say "Qt for Windows is ready in $dest"
  exit 0
fi

find_archive() {
  if [ -n "${ZANTIC_QT_ARCHIVE:-}" ]; then
    [ -f "$ZANTIC_QT_ARCHIVE" ] && echo "$ZANTIC_QT_ARCHIVE"
    return 0
  fi
  local dir=$root level
  for level in 1 2 3 4; do
    if [ -f "$dir/shared/toolchains/$name.tar.xz" ]; then
      echo "$dir/shared/toolchains/$name.tar.xz"
      return 0
    fi
    dir=$(dirname "$dir")
  done
}

archive=$(find_archive)
if [ "$have" = 1 ]; then
  [ -n "$archive" ] || exit 1
  say "an archive of Qt for Windows is there: $archive"
  exit 0
fi
parent=$(dirname "$dest")
mkdir -p "$parent"
# Built or unpacked beside DEST and moved into place at the end, so that an
# interrupted run leaves no half tree where the preset looks.
scratch=$(mktemp -d "$parent/.qt-windows.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

if [ -n "$archive" ]; then
  say "unpacking $archive"
  run tar -xJf "$archive" -C "$scratch"
  [ "$dry" = 1 ] || [ -f "$scratch/$name/lib/cmake/Qt6/Qt6Config.cmake" ] ||
    { say "$archive holds no $name/lib/cmake/Qt6" >&2; exit 1; }
  tree=$scratch/$name
else
  say "no archive $name.tar.xz found: building Qt from Debian's source (about 31 minutes on two cores)"
  host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || true)
  case "$host_version" in
    "$version"*) ;;
    *) say "the host's Qt tools (qt6-base-dev-tools) must be version $version, found '${host_version:-none}'" >&2
       exit 1 ;;
  esac
  # The host's Debian suite and mirror; apt gets lists and folders of its own
  # so that the system's sources are left as they are.
  . /etc/os-release
  mirror=$(grep -hoE '^(deb|URIs:) +(\[[^]]*\] +)?https?://[^ ]+' /etc/apt/sources.list /etc/apt/sources.list.d/*.sources \
             /etc/apt/sources.list.d/*.list 2>/dev/null | grep -v security | head -n1 | awk '{print $NF}' || true)
  mirror=${mirror:-http://deb.debian.org/debian}
  apt_dir=$scratch/apt
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/etc/preferences.d"
  echo "deb-src $mirror $VERSION_CODENAME main" >"$apt_dir/sources.list"
  apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/etc/none"
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
            -o "Dir::Etc::Preferences=$apt_dir/etc/none" -o "Dir::Etc::PreferencesParts=$apt_dir/etc/preferences.d")
  run apt-get "${apt_opts[@]}" update
  src=$scratch/src
  mkdir -p "$src"
  run bash -c "cd '$src' && apt-get ${apt_opts[*]@Q} source 'qt6-base=$host_version'"
  tree=$scratch/$name
  mkdir -p "$tree"
  cat >"$tree/mingw64-toolchain.cmake" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
  qt_src=$(ls -d "$src"/qt6-base-*/ 2>/dev/null | head -n1 || true)
  [ -n "$qt_src" ] || qt_src=$src/qt6-base-$version
  obj=$scratch/obj
  mkdir -p "$obj"
  # Debian's tarball lacks src/3rdparty/wintab, iaccessible2 and sqlite:
  # tablet events and SQL are left out. No OpenGL, D-Bus or ICU on Windows.
  run bash -c "cd '$obj' && '$qt_src/configure' -prefix '$tree' -release -shared -xplatform win32-g++ -qt-host-path /usr \
    -nomake examples -nomake tests -no-opengl -no-feature-tabletevent -no-dbus -no-icu \
    -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -no-feature-sql \
    -- -DCMAKE_TOOLCHAIN_FILE='$tree/mingw64-toolchain.cmake' \
       -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -G Ninja"
  run nice -n 10 cmake --build "$obj" --parallel "$(nproc)"
  run cmake --install "$obj"
  # The installed toolchain file names the chain-loaded one by its absolute
  # path; relative to itself, the tree can be moved.
  run sed -i 's|^set(__qt_initially_configured_toolchain_file .*|set(__qt_initially_configured_toolchain_file "${CMAKE_CURRENT_LIST_DIR}/../../../mingw64-toolchain.cmake")|' \
    "$tree/lib/cmake/Qt6/qt.toolchain.cmake"
  [ "$dry" = 1 ] || cat >"$tree/BUILD.txt" <<EOF
Qt $version (qtbase) for x86_64 Windows, cross-built with mingw-w64 (posix threads) from Debian's
qt6-base source package $host_version by scripts/build-qt-windows.sh in $((SECONDS - started)) s.
EOF
fi

if [ "$dry" = 1 ]; then
  say "dry run: nothing was changed"
  exit 0
fi
# Relocatable either way: the chain-loaded toolchain file is found beside the tree.
grep -q 'CMAKE_CURRENT_LIST_DIR}/../../../mingw64-toolchain.cmake' "$tree/lib/cmake/Qt6/qt.toolchain.cmake" ||
  { say "$tree/lib/cmake/Qt6/qt.toolchain.cmake does not chain-load the toolchain beside it" >&2; exit 1; }
touch "$tree/.zantic-qt-complete"
rm -rf "$dest"
mv "$tree" "$dest"
say "Qt for Windows ready in $dest after $((SECONDS - started)) s"
