#!/usr/bin/env bash
# Burning to an unthrottled virtual recorder against writing the same
# compilation to an .iso file with the direct writer, in one run.
#
#   bench/compare_burn.sh TREE [MEDIA]     MEDIA defaults to dvd+r-dl
#
# Prints wall and CPU seconds of each and the burn's throughput as a share of
# the image writer's. The burn includes the drive waits the writer makes by
# design (about 6 s: one ready check before the data, one after closing).
set -euo pipefail
tree=${1:?usage: $0 TREE [MEDIA]}
media=${2:-dvd+r-dl}
cd "$(dirname "$0")/.."
cli=build/release/src/cli/zantic-cli
[ -x "$cli" ] || { echo "build the release preset first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZANTIC_VDRIVE_TIMESCALE=0.001

measure() {  # label, command...: prints "label wall cpu"
  local label=$1; shift
  # Exit code 3 (some sources left out, named on stderr) still measures a whole write.
  local rc=0
  /usr/bin/time -f "$label %e %U %S" -o "$work/t" "$@" >/dev/null 2>"$work/err" || rc=$?
  if [ $rc -ne 0 ] && [ $rc -ne 3 ]; then cat "$work/err" >&2; exit 1; fi
  tail -1 "$work/t" | awk '{printf "%s %.2f %.2f\n", $1, $2, $3 + $4}'
}

# One write first, so that both measured runs read the tree from the page cache.
"$cli" build-iso --quick -o "$work/warm.iso" "$tree" >/dev/null 2>&1 || true
rm -f "$work/warm.iso"
iso=$(measure iso "$cli" build-iso --quick -o "$work/x.iso" "$tree")
sectors=$(( $(stat -c %s "$work/x.iso") / 2048 ))
rm -f "$work/x.iso"
"$cli" vdisc create "$work/d.zvd" --media "$media" >/dev/null
burn=$(measure burn "$cli" burn --device "$work/d.zvd" "$tree")
echo "tree: $tree ($sectors sectors), medium: $media"
printf '%-6s %8s %8s\n' what wall cpu
echo "$iso" | awk '{printf "%-6s %8.2f %8.2f\n", $1, $2, $3}'
echo "$burn" | awk '{printf "%-6s %8.2f %8.2f\n", $1, $2, $3}'
echo "$iso $burn" | awk '{printf "burn throughput / image writer: %.0f%% (%.0f%% without the 6 s of drive waits); burn CPU / wall: %.0f%%\n", 100*$2/$5, 100*$2/($5-6), 100*$6/$5}'
