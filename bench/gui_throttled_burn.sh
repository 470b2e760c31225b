#!/usr/bin/env bash
# A burn from the burn dialog to a virtual recorder whose 2 MB buffer drains
# at a real drive's speed (16X DVD, 22,160 kB/s, by default) while the dialog
# and the main window are repainted every REPAINT_MS ms (default 1000), and
# what the recorder noted when the data ended: how often a write found the
# buffer empty after it had first been full, and the lowest fill it found.
#
#   bench/gui_throttled_burn.sh TREE [KBPS] [MEDIA]     MEDIA defaults to dvd+r-dl
#   COLD=1 drops the page cache first (root), so the tree is read from disk.
set -euo pipefail
tree=${1:?usage: $0 TREE [KBPS] [MEDIA]}
rate=${2:-22160}
media=${3:-dvd+r-dl}
repaint=${REPAINT_MS:-1000}
cd "$(dirname "$0")/.."
cli=build/release/src/cli/zantic-cli
gui=build/release/bench/gui_burn_bench
[ -x "$cli" ] && [ -x "$gui" ] || { echo "build the release preset first (zantic-cli, gui_burn_bench)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
"$cli" vdisc create "$work/d.zvd" --media "$media" >/dev/null
"$cli" vdisc fault "$work/d.zvd" --throttle "$rate" >/dev/null
if [ "${COLD:-0}" = 1 ]; then sync; echo 3 >/proc/sys/vm/drop_caches; fi
echo "load before: $(uptime)"
rc=0
ZANTIC_VDRIVE_LOG="$work/log" "$gui" "$tree" "$work/d.zvd" --repaint "$repaint" >"$work/out" 2>"$work/err" || rc=$?
echo "load after: $(uptime)"
if [ $rc -ne 0 ]; then cat "$work/out" "$work/err" >&2; exit 1; fi
echo "tree: $tree, medium: $media, buffer drained at $rate kB/s, windows repainted every $repaint ms"
cat "$work/out"
grep '^# buffer' "$work/log" | sed 's/^# //'
grep -q '^# buffer' "$work/log" || { echo "the recorder noted no buffer figures" >&2; exit 1; }
