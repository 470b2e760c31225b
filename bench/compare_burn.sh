#!/usr/bin/env bash
# Burning to an unthrottled virtual recorder against writing the same
# compilation to an .iso file with the direct writer, in one run.
#
#   bench/compare_burn.sh TREE [MEDIA]     MEDIA defaults to dvd+r-dl
#
# DISC_DIR=/dev/shm puts the virtual disc in memory, where its flush costs
# nothing: that measures the burn's own path.
#
# Prints wall and CPU seconds of each and the burn's throughput as a share of
# the image writer's. The recorder flushes its disc file to the disk when the
# drive is told to (SYNCHRONIZE CACHE), which the image writer never does, so
# the image writer is also timed with its file flushed ("iso+sync").
set -euo pipefail
tree=${1:?usage: $0 TREE [MEDIA]}
media=${2:-dvd+r-dl}
cd "$(dirname "$0")/.."
cli=build/release/src/cli/zantic-cli
[ -x "$cli" ] || { echo "build the release preset first" >&2; exit 2; }
work=$(mktemp -d)
disc=$(mktemp -d "${DISC_DIR:-$work}/disc.XXXXXX")
trap 'rm -rf "$work" "$disc"' EXIT
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
sync
synced=$(measure iso+sync sh -c '"$1" build-iso --quick -o "$2" "$3"; rc=$?; sync "$2"; exit $rc' sh "$cli" "$work/x.iso" "$tree")
rm -f "$work/x.iso"
sync
"$cli" vdisc create "$disc/d.zvd" --media "$media" >/dev/null
burn=$(measure burn "$cli" burn --device "$disc/d.zvd" "$tree")
echo "tree: $tree ($sectors sectors), medium: $media"
printf '%-9s %8s %8s\n' what wall cpu
for line in "$iso" "$synced" "$burn"; do echo "$line" | awk '{printf "%-9s %8.2f %8.2f\n", $1, $2, $3}'; done
echo "$iso $synced $burn" | awk '{printf "burn throughput / image writer: %.0f%%, / image writer with its file flushed: %.0f%%; burn CPU / wall: %.0f%%\n", 100*$2/$8, 100*$5/$8, 100*$9/$8}'
