#!/usr/bin/env bash
# Burning to an unthrottled virtual recorder against writing the same
# compilation to an .iso file with the direct writer, in one run.
#
#   bench/compare_burn.sh [-n ROUNDS] TREE [MEDIA]     MEDIA defaults to dvd+r-dl
#
# Both make their data permanent before they report success: the image writer
# flushes its file before renaming it into place, the recorder flushes its
# disc file when the engine sends SYNCHRONIZE CACHE. DISC_DIR=/dev/shm puts
# the virtual disc in memory, where that flush costs nothing.
#
# A third contender, two_thread_copy ("pipe"), moves the same files through
# two threads and a 4 MiB ring of 64 KiB blocks into one file with the same
# writeback, and does nothing else: a burn's data path without the engine.
# The burn against the pipe is the engine's own cost; the pipe against the
# image writer is the price of reading ahead on one thread and writing on
# another, which copies every byte twice.
#
# What ran just before matters: on some virtual machines a write that copies
# from its own memory runs far slower right after the image writer. So each
# round (default 3) runs nine writes, three of each contender, in an order
# where every contender follows every contender once (the round closes on the
# image writer, and a warm-up image write that also brings the tree into the
# page cache precedes the first). Every run starts after a sync, so that no
# run pays for the writeback of the one before. Prints the medians, the
# burn's throughput as a share of the others', the median of each round's own
# ratio, and the median wall time of each contender after each predecessor.
set -euo pipefail
rounds=3
if [ "${1:-}" = -n ]; then rounds=$2; shift 2; fi
tree=${1:?usage: $0 [-n ROUNDS] TREE [MEDIA]}
media=${2:-dvd+r-dl}
cd "$(dirname "$0")/.."
cli=build/release/src/cli/zantic-cli
pipe=build/release/bench/two_thread_copy
[ -x "$cli" ] && [ -x "$pipe" ] || { echo "build the release preset first" >&2; exit 2; }
work=$(mktemp -d)
disc=$(mktemp -d "${DISC_DIR:-$work}/disc.XXXXXX")
trap 'rm -rf "$work" "$disc"' EXIT
export ZANTIC_VDRIVE_TIMESCALE=0.001

prev=iso   # the warm-up
measure() {  # label, command...: appends "wall cpu" to $work/label, "round label prev wall" to $work/all
  local label=$1; shift
  sync
  # Exit code 3 (some sources left out, named on stderr) still measures a whole write.
  local rc=0
  /usr/bin/time -f "%e %U %S" -o "$work/t" "$@" >/dev/null 2>"$work/err" || rc=$?
  if [ $rc -ne 0 ] && [ $rc -ne 3 ]; then cat "$work/err" >&2; exit 1; fi
  tail -1 "$work/t" | awk '{printf "%.2f %.2f\n", $1, $2 + $3}' >>"$work/$label"
  echo "$round $label $prev $(tail -1 "$work/t" | cut -d' ' -f1)" >>"$work/all"
  prev=$label
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
# Every ordered pair once, closing on iso (a de Bruijn sequence).
order=(iso pipe iso burn pipe pipe burn burn iso)
for round in $(seq 1 "$rounds"); do
  for c in "${order[@]}"; do "run_$c"; done
done
echo "tree: $tree ($sectors sectors), medium: $media, $rounds rounds, $((rounds * 3)) runs each, medians"
printf '%-5s %8s %8s   %s\n' what wall cpu "all walls"
for w in iso pipe burn; do
  printf '%-5s %8.2f %8.2f   %s\n' "$w" "$(median "$work/$w" 1)" "$(median "$work/$w" 2)" "$(cut -d' ' -f1 "$work/$w" | tr '\n' ' ')"
done
awk -v i="$(median "$work/iso" 1)" -v p="$(median "$work/pipe" 1)" -v b="$(median "$work/burn" 1)" \
  -v c="$(median "$work/burn" 2)" 'BEGIN {
    printf "burn throughput / image writer: %.0f%%; burn CPU / wall: %.0f%%\n", 100*i/b, 100*c/b
    printf "burn throughput / pipe: %.0f%%; pipe / image writer: %.0f%%\n", 100*p/b, 100*i/p }'
# The machine's speed drifts from minute to minute; the runs of one round
# share their minutes, so the median of the rounds' own ratios is the steadier figure.
per_round() {  # reference label, text
  for r in $(seq 1 "$rounds"); do
    awk -v r="$r" -v w="$1" '$1 == r && $2 == w {print $4}' "$work/all" >"$work/ref"
    awk -v r="$r" '$1 == r && $2 == "burn" {print $4}' "$work/all" >"$work/b"
    echo "$(median "$work/ref" 1) $(median "$work/b" 1)" | awk '{print 100 * $1 / $2}'
  done | sort -n >"$work/ratios"
  printf 'per round, burn throughput / %s: median %.0f%%, each: %s\n' "$2" "$(median "$work/ratios" 1)" \
    "$(awk '{printf "%.0f ", $1}' "$work/ratios")"
}
per_round iso "image writer"
per_round pipe pipe
echo "median wall seconds, by the run before:"
printf '%-5s %8s %8s %8s\n' after: iso pipe burn
for w in iso pipe burn; do
  line=$(printf '%-5s' "$w")
  for p in iso pipe burn; do
    awk -v w="$w" -v p="$p" '$2 == w && $3 == p {print $4}' "$work/all" >"$work/cell"
    line+=$(printf ' %8.2f' "$(median "$work/cell" 1)")
  done
  echo "$line"
done
