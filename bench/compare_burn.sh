#!/usr/bin/env bash
# Burning to an unthrottled virtual recorder against writing the same
# compilation to an .iso file with the direct writer, in one run.
#
#   bench/compare_burn.sh [-n RUNS] TREE [MEDIA]     MEDIA defaults to dvd+r-dl
#
# Both make their data permanent before they report success: the image writer
# flushes its file before renaming it into place, the recorder flushes its
# disc file when the engine sends SYNCHRONIZE CACHE. DISC_DIR=/dev/shm puts
# the virtual disc in memory, where that flush costs nothing.
#
# RUNS rounds (default 3) follow one warm-up write that brings the tree into
# the page cache; each round runs every contender once, starting with the
# next one in turn, and every run starts after a sync, so that no run pays
# for the writeback of the one before. Prints the median
# wall and CPU seconds of each and the burn's throughput as a share of the
# image writer's.
#
# A third contender, two_thread_copy ("pipe"), moves the same files through
# two threads and a 4 MiB ring of 64 KiB blocks into one file with the same
# writeback, and does nothing else: a burn's data path without the engine.
# The burn against the pipe is the engine's own cost; the pipe against the
# image writer is the price of reading ahead on one thread and writing on
# another, which copies every byte twice.
set -euo pipefail
runs=3
if [ "${1:-}" = -n ]; then runs=$2; shift 2; fi
tree=${1:?usage: $0 [-n RUNS] TREE [MEDIA]}
media=${2:-dvd+r-dl}
cd "$(dirname "$0")/.."
cli=build/release/src/cli/zantic-cli
pipe=build/release/bench/two_thread_copy
[ -x "$cli" ] && [ -x "$pipe" ] || { echo "build the release preset first" >&2; exit 2; }
work=$(mktemp -d)
disc=$(mktemp -d "${DISC_DIR:-$work}/disc.XXXXXX")
trap 'rm -rf "$work" "$disc"' EXIT
export ZANTIC_VDRIVE_TIMESCALE=0.001

measure() {  # label, command...: appends "wall cpu" to $work/label
  local label=$1; shift
  sync
  # Exit code 3 (some sources left out, named on stderr) still measures a whole write.
  local rc=0
  /usr/bin/time -f "%e %U %S" -o "$work/t" "$@" >/dev/null 2>"$work/err" || rc=$?
  if [ $rc -ne 0 ] && [ $rc -ne 3 ]; then cat "$work/err" >&2; exit 1; fi
  tail -1 "$work/t" | awk '{printf "%.2f %.2f\n", $1, $2 + $3}' >>"$work/$label"
}
median() {  # file, column
  sort -n -k"$2","$2" "$1" | awk -v c="$2" '{v[NR]=$c} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'
}

"$cli" build-iso --quick -o "$work/warm.iso" "$tree" >/dev/null 2>&1 || true
sectors=$(( $(stat -c %s "$work/warm.iso") / 2048 ))
rm -f "$work/warm.iso"
find "$tree" -type f | LC_ALL=C sort >"$work/list"
run_iso() {
  measure iso "$cli" build-iso --quick -o "$work/x.iso" "$tree"
  rm -f "$work/x.iso"
}
run_pipe() {
  measure pipe "$pipe" "$work/f.bin" <"$work/list"
  rm -f "$work/f.bin"
}
run_burn() {
  rm -f "$disc/d.zvd"
  "$cli" vdisc create "$disc/d.zvd" --media "$media" >/dev/null
  measure burn "$cli" burn --device "$disc/d.zvd" "$tree"
  rm -f "$disc/d.zvd"
}
# Each round starts with the next contender, so none always follows the same one.
order=(iso pipe burn)
for round in $(seq 0 $((runs - 1))); do
  for k in 0 1 2; do "run_${order[(round + k) % 3]}"; done
done
echo "tree: $tree ($sectors sectors), medium: $media, $runs runs each, medians"
printf '%-5s %8s %8s   %s\n' what wall cpu "all walls"
for w in iso pipe burn; do
  printf '%-5s %8.2f %8.2f   %s\n' "$w" "$(median "$work/$w" 1)" "$(median "$work/$w" 2)" "$(cut -d' ' -f1 "$work/$w" | tr '\n' ' ')"
done
awk -v i="$(median "$work/iso" 1)" -v p="$(median "$work/pipe" 1)" -v b="$(median "$work/burn" 1)" \
  -v c="$(median "$work/burn" 2)" 'BEGIN {
    printf "burn throughput / image writer: %.0f%%; burn CPU / wall: %.0f%%\n", 100*i/b, 100*c/b
    printf "burn throughput / pipe: %.0f%%; pipe / image writer: %.0f%%\n", 100*p/b, 100*i/p }'
# The machine's speed drifts from minute to minute; the runs of one round
# share their minute, so the median of the rounds' ratios is the steadier figure.
# $1: the reference run's file, $2: label
pairs() {
  paste -d' ' "$work/$1" "$work/burn" | awk '{print 100 * $1 / $3}' | sort -n >"$work/pairs"
  printf 'per round, burn throughput / %s: median %.0f%%, each: %s\n' "$2" "$(median "$work/pairs" 1)" \
    "$(awk '{printf "%.0f ", $1}' "$work/pairs")"
}
pairs iso "image writer"
pairs pipe pipe
