#!/usr/bin/env bash
# The Windows desktop stage of the tests: zantic.exe and the gui test
# programs built against Qt for x86_64 mingw-w64 (scripts/build-qt-windows.sh),
# the gui tests under wine on Xvfb with the windows platform, the installer built
# with NSIS, installed silently into a fresh wine prefix, started, and
# uninstalled.
#
#   scripts/windows-gui-stage.sh [all|build|test|package|install-test|screens]
#
# all (the default) runs build, test, package and install-test. Without a
# Qt for Windows at hand (neither the cache folder nor an archive of it) the
# stage is skipped with exit code 77: building Qt from source takes half an
# hour, more than the test command may spend.
#
# screens: pictures of the windows under wine on Xvfb with the windows
# platform (wine's fonts and scaling) into out/screens-windows/; captions cut
# off fail it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
part=${1:-all}
started=$SECONDS

qt=${ZANTIC_QT_WINDOWS:-$root/build/qt6-win64-6.4.2}
export ZANTIC_QT_WINDOWS=$qt
build=$root/build/win64-gui
export WINEDEBUG=-all
export WINEPREFIX=${ZANTIC_WINEPREFIX_GUI:-$root/build/wine-prefix-gui}
export WINEDLLOVERRIDES="wnaspi32=n"
wine=/usr/lib/wine/wine64
version=$(sed -n 's/^project(Zantic VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
installer=$build/zantic-$version-win64-setup.exe

say() { echo "windows gui stage: $*"; }
elapsed() { echo "$((SECONDS - started)) s"; }

gui_targets=(zantic zantic-cli zantic_start_form_gui_test zantic_main_form_gui_test zantic_event_bridge_gui_test
             zantic_drive_forms_gui_test option_form_gui_test zantic-screens zantic_schedule_form_gui_test
             zantic_exe_icon_gui_test zantic_erase_form_gui_test zantic_tips_version_gui_test
             zantic_burning_form_gui_test)

wine_ready() {
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1 || true
  # Xvfb has no window manager: wine then waits 2 s for one to withdraw each
  # window it hides ("wait_for_withdrawn_state ... timed out"), most of the
  # tests' time. Unmanaged windows are hidden at once, as on Windows.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  wineserver -w || true
}

build() {
  if ! scripts/build-qt-windows.sh --have "$qt"; then
    say "skipped: no Qt for Windows, neither in $qt nor as an archive (shared/toolchains/qt6-win64-6.4.2.tar.xz" \
      "beside the source tree, or ZANTIC_QT_ARCHIVE); scripts/build-qt-windows.sh builds it from Debian's" \
      "source in about 31 minutes on two cores"
    exit 77
  fi
  scripts/build-qt-windows.sh "$qt"
  nice -n 10 cmake --preset win64-gui >/dev/null
  nice -n 10 cmake --build "$build" -j2 --target "${gui_targets[@]}"
  say "built after $(elapsed)"
}

# On Xvfb with Qt's windows platform, as a Windows user sees the windows:
# under wine the offscreen platform's windows never paint.
test_gui() {
  wine_ready
  ZANTIC_WINE_QPA=windows xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset win64-gui -j2
  say "gui tests passed under wine after $(elapsed)"
}

# What the installer carries beside the programs: the Qt modules they link,
# the plugins Qt loads at run time, mingw-w64's C++ runtime. There is no
# deployment tool for this Qt: package() checks that every DLL any of these
# imports is either here or part of Windows.
qt_dlls=(Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Network.dll Qt6PrintSupport.dll)
qt_plugins=(platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qico.dll imageformats/qjpeg.dll
            imageformats/qgif.dll tls/qschannelbackend.dll tls/qcertonlybackend.dll)
runtime_dlls=(libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)

stage_files() {
  local stage=$1 runtime
  runtime=$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix | sort -V | tail -n1)
  rm -rf "$stage"
  mkdir -p "$stage"
  cp "$build/src/app/zantic.exe" "$build/src/cli/zantic-cli.exe" "$stage/"
  local dll plugin
  for dll in "${qt_dlls[@]}"; do cp "$qt/bin/$dll" "$stage/"; done
  for plugin in "${qt_plugins[@]}"; do
    mkdir -p "$stage/$(dirname "$plugin")"
    cp "$qt/plugins/$plugin" "$stage/$plugin"
  done
  cp "$runtime/libstdc++-6.dll" "$runtime/libgcc_s_seh-1.dll" /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$stage/"
  x86_64-w64-mingw32-strip --strip-unneeded "$stage/zantic.exe" "$stage/zantic-cli.exe"
  mkdir -p "$stage/Skins" "$stage/Help"
  cp src/ui/skins/*.mskn "$stage/Skins/"
  cp -r data/help/. "$stage/Help/"
  cp data/Tips.ini "$stage/"
}

# Every DLL imported by a program or DLL of the stage is there or is one of
# wine's own DLLs (those Windows brings).
check_imports() {
  local stage=$1 missing=0 file dll
  local system=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
  while IFS= read -r file; do
    while IFS= read -r dll; do
      [ -e "$stage/$dll" ] && continue
      # API sets: names Windows resolves to its own DLLs.
      case "${dll,,}" in api-ms-win-*|ext-ms-win-*) continue ;; esac
      [ -n "$(find "$system" -maxdepth 1 -iname "$dll" -print -quit)" ] && continue
      echo "  ${file#"$stage"/} imports $dll, which is neither in the installer nor part of Windows" >&2
      missing=1
    done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
  done < <(find "$stage" -iname '*.exe' -o -iname '*.dll')
  return "$missing"
}

# The installer's file lists: what to install, and the same files (and only
# they) to remove, so that the person's files in the folder stay.
write_lists() {
  local stage=$1 lists=$2 dir file rel
  mkdir -p "$lists"
  : >"$lists/install.nsh"
  : >"$lists/uninstall.nsh"
  while IFS= read -r dir; do
    rel=${dir#"$stage"}
    rel=${rel#/}
    echo "SetOutPath \"\$INSTDIR${rel:+\\${rel//\//\\}}\"" >>"$lists/install.nsh"
    while IFS= read -r file; do
      echo "File \"$file\"" >>"$lists/install.nsh"
      rel=${file#"$stage"/}
      echo "Delete \"\$INSTDIR\\${rel//\//\\}\"" >>"$lists/uninstall.nsh"
    done < <(find "$dir" -maxdepth 1 -type f | sort)
  done < <(find "$stage" -type d | sort)
  echo 'SetOutPath "$INSTDIR"' >>"$lists/install.nsh"
  # Folders deepest first, each removed only when empty.
  while IFS= read -r dir; do
    rel=${dir#"$stage"/}
    echo "RMDir \"\$INSTDIR\\${rel//\//\\}\"" >>"$lists/uninstall.nsh"
  done < <(find "$stage" -mindepth 1 -type d | sort -r)
}

package() {
  local stage=$build/package/Zantic lists=$build/package/lists
  stage_files "$stage"
  check_imports "$stage" || { say "the installer would lack DLLs"; exit 1; }
  write_lists "$stage" "$lists"
  makensis -V2 -DVERSION="$version" -DLISTS="$lists" -DOUTFILE="$installer" data/windows/installer.nsi
  say "installer $(basename "$installer"): $(du -k "$installer" | cut -f1) KiB, $(find "$stage" -type f | wc -l) files," \
    "after $(elapsed)"
}

# Installs silently into a fresh prefix, starts the installed program's
# self-test under Xvfb with the windows platform, leaves a person's files in
# the program folder, uninstalls silently and checks what is left.
install_test() {
  local prefix
  prefix=$(mktemp -d "$root/build/wine-install-test.XXXXXX")
  (
    set -euo pipefail
    export WINEPREFIX=$prefix
    unset WINEPATH QT_PLUGIN_PATH QT_QPA_PLATFORM QT_QPA_FONTDIR
    wine_ready
    "$wine" "$installer" /S
    wineserver -w
    local dir="$prefix/drive_c/Program Files/Zantic"
    local file
    for file in zantic.exe zantic-cli.exe Qt6Core.dll platforms/qwindows.dll Skins/devoir.mskn Help/index.html \
                Tips.ini Uninstall.exe; do
      [ -f "$dir/$file" ] || { echo "not installed: $file" >&2; exit 1; }
    done
    [ -f "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zantic/Zantic.lnk" ] ||
      { echo "no Start-menu entry" >&2; exit 1; }
    xvfb-run -a -s "-screen 0 1024x768x24" "$wine" "$dir/zantic.exe" --self-test >"$prefix/self-test.txt" 2>&1 ||
      { cat "$prefix/self-test.txt" >&2; echo "the installed zantic.exe --self-test failed" >&2; exit 1; }
    sed 's/^/  /' "$prefix/self-test.txt"
    "$wine" "$dir/zantic-cli.exe" --help >/dev/null 2>&1 || { echo "the installed zantic-cli.exe does not start" >&2; exit 1; }
    # The person's own files in the program folder.
    mkdir -p "$dir/Schedule"
    echo "[Count]" >"$dir/Schedule/ScheduleList.ini"
    echo "a task" >"$dir/Backup.zbt"
    "$wine" "$dir/Uninstall.exe" /S
    wineserver -w
    # The uninstaller copies itself away and runs from there: wait for it.
    for _ in $(seq 1 50); do [ -e "$dir/Uninstall.exe" ] || break; sleep 0.2; done
    # Every installed file gone, the person's files still there.
    local stage=$build/package/Zantic left
    left=$(cd "$stage" && find . -type f -exec test -e "$dir/{}" \; -print | tr '\n' ' ')
    [ -z "$left" ] && [ ! -e "$dir/Uninstall.exe" ] ||
      { echo "after uninstalling, still installed: $left" >&2; exit 1; }
    [ -f "$dir/Backup.zbt" ] && [ -f "$dir/Schedule/ScheduleList.ini" ] ||
      { echo "the uninstaller removed the person's files" >&2; exit 1; }
    echo "  left in the program folder: $(cd "$dir" && find . -type f | sort | tr '\n' ' ')"
    [ ! -e "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zantic" ] ||
      { echo "the Start-menu entries are still there" >&2; exit 1; }
    if "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zantic' >/dev/null 2>&1; then
      echo "the uninstall entry is still there" >&2
      exit 1
    fi
    wineserver -k || true
  ) || { say "install test failed (prefix kept in $prefix)"; exit 1; }
  rm -rf "$prefix"
  say "installed, self-tested and uninstalled after $(elapsed)"
}

screens() {
  wine_ready
  local home
  home=$(mktemp -d)
  rm -rf out/screens-windows
  mkdir -p out/screens-windows
  local runtime
  runtime=$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix | sort -V | tail -n1)
  ZANTIC_HOME=$(printf 'Z:%s' "${home//\//\\}") \
  WINEPATH="Z:${qt//\//\\}\\bin;Z:${runtime//\//\\};Z:\\usr\\x86_64-w64-mingw32\\lib" \
  QT_PLUGIN_PATH="Z:${qt//\//\\}\\plugins" QT_QPA_PLATFORM=windows \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$wine" "$build/tests/gui/zantic-screens.exe" \
      "Z:${root//\//\\}\\out\\screens-windows"
  rm -rf "$home"
  say "$(find out/screens-windows -name '*.png' | wc -l) pictures in out/screens-windows after $(elapsed)"
}

case "$part" in
  build) build ;;
  test) test_gui ;;
  package) package ;;
  install-test) install_test ;;
  screens) screens ;;
  all) build && test_gui && package && install_test ;;
  *) echo "usage: $0 [all|build|test|package|install-test|screens]" >&2; exit 2 ;;
esac
