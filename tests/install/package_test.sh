#!/usr/bin/env bash
# Makes the Debian package of a build, unpacks it into a scratch root and
# starts the programs from there: package_test.sh <build dir> [--gui]
set -euo pipefail

build=$1
gui=${2:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "package_test: $*" >&2
  exit 1
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  fail "cpack failed"
fi
debs=("$scratch"/pkg/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
root=$scratch/root
dpkg-deb -x "$deb" "$root"

[ "$(dpkg-deb -f "$deb" Package)" = zantic ] || fail "package name is not zantic"
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in *libc6*) ;; *) fail "Depends lacks libc6: $depends" ;; esac

files=(usr/bin/zantic-cli)
if [ "$gui" = --gui ]; then
  case "$depends" in *libqt6widgets6*) ;; *) fail "Depends lacks libqt6widgets6: $depends" ;; esac
  files+=(usr/bin/zantic usr/share/applications/zantic.desktop
    usr/share/icons/hicolor/scalable/apps/zantic.svg usr/share/zantic/Skins/devoir.mskn)
  for size in 16 32 48 64 128 256; do files+=("usr/share/icons/hicolor/${size}x${size}/apps/zantic.png"); done
fi
for f in "${files[@]}"; do
  [ -s "$root/$f" ] || fail "missing from the package: /$f"
done

# Nothing of the person's lands in the scratch root or the tester's home.
home=$scratch/home
mkdir -p "$home"
run() { env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" "$@"; }

run "$root/usr/bin/zantic-cli" --help >"$scratch/help.txt" 2>&1 || fail "zantic-cli --help failed: $(cat "$scratch/help.txt")"
grep -q burn "$scratch/help.txt" || fail "zantic-cli --help does not list its commands"

if [ "$gui" = --gui ]; then
  grep -qx 'Exec=zantic' "$root/usr/share/applications/zantic.desktop" || fail "the desktop entry does not start zantic"
  grep -qx 'Icon=zantic' "$root/usr/share/applications/zantic.desktop" || fail "the desktop entry names no icon"
  run QT_QPA_PLATFORM=offscreen "$root/usr/bin/zantic" --self-test >"$scratch/self.txt" 2>&1 ||
    fail "zantic --self-test failed: $(cat "$scratch/self.txt")"
  # The installed program finds the skins shipped with it.
  grep -qx "skin devoir: $root/usr/share/zantic/Skins/devoir.mskn" "$scratch/self.txt" ||
    fail "zantic did not find its shipped skin: $(cat "$scratch/self.txt")"
fi
if [ -n "$(find "$root" -newer "$deb" -type f 2>/dev/null)" ]; then
  fail "the programs wrote into their installation: $(find "$root" -newer "$deb" -type f)"
fi
echo "package_test: $(basename "$deb") installs and starts"
