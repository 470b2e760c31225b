#!/usr/bin/env bash
# A burn started from the burn dialog against `zantic-cli burn` of the same
# tree to the same kind of virtual recorder, in one run, interleaved.
#
#   bench/gui_burn_compare.sh [-n ROUNDS] TREE [MEDIA]     MEDIA defaults to dvd+r-dl
#
# Each round (default 3) burns once with each, the order turning every round
# (cli gui, gui cli, ...), after a warm-up burn that brings the tree into the
# page cache; every run starts after a sync on a fresh blank disc. The
# dialog's time runs from the Burn click to the dialog's last button coming
# on; the command line's is the whole process. Prints the medians, the
# median of each round's own ratio (the steadier figure on a shared machine),
# and the longest event-loop gap of every dialog burn.
# DISC_DIR=/dev/shm keeps the disc in memory (the burn's own path); by
# default it is a temporary folder on the disk, flushed at the end as a drive
# would.
set -euo pipefail
rounds=3
if [ "${1:-}" = -n ]; then rounds=$2; shift 2; fi
tree=${1:?usage: $0 [-n ROUNDS] TREE [MEDIA]}
media=${2:-dvd+r-dl}
cd "$(dirname "$0")/.."
cli=build/release/src/cli/zantic-cli
gui=build/release/bench/gui_burn_bench
[ -x "$cli" ] && [ -x "$gui" ] || { echo "build the release preset first (zantic-cli, gui_burn_bench)" >&2; exit 2; }
work=$(mktemp -d)
disc=$(mktemp -d "${DISC_DIR:-$work}/disc.XXXXXX")
trap 'rm -rf "$work" "$disc"' EXIT
export ZANTIC_VDRIVE_TIMESCALE=0.001
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
bytes=$(find "$tree" -type f -printf '%s\n' | awk '{s += $1} END {printf "%.0f", s}')

fresh() {
  rm -f "$disc/d.zvd"
  "$cli" vdisc create "$disc/d.zvd" --media "$media" >/dev/null
  sync
}
run_cli() {  # round
  fresh
  local rc=0
  /usr/bin/time -f "%e %M" -o "$work/t" "$cli" burn --device "$disc/d.zvd" "$tree" >/dev/null 2>"$work/err" || rc=$?
  if [ $rc -ne 0 ]; then cat "$work/err" >&2; exit 1; fi
  echo "$1 $(cut -d' ' -f1 "$work/t")" >>"$work/cli"
  echo "cli  round $1: $(cut -d' ' -f1 "$work/t") s, peak RSS $(cut -d' ' -f2 "$work/t") KB"
}
run_gui() {  # round
  fresh
  local rc=0
  /usr/bin/time -f "%e %M" -o "$work/t" "$gui" "$tree" "$disc/d.zvd" >"$work/out" 2>"$work/err" || rc=$?
  if [ $rc -ne 0 ]; then cat "$work/out" "$work/err" >&2; exit 1; fi
  local s
  s=$(sed -n 's/.*: \([0-9.]*\) s from the Burn click.*/\1/p' "$work/out")
  echo "$1 $s" >>"$work/gui"
  echo "gui  round $1: $s s (process $(cut -d' ' -f1 "$work/t") s, peak RSS $(cut -d' ' -f2 "$work/t") KB)"
  sed 's/^/       /' "$work/out"
}
median() {  # numbers on stdin
  sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'
}

echo "load before: $(uptime)"
run_cli 0 >/dev/null   # warm-up
for r in $(seq 1 "$rounds"); do
  if [ $((r % 2)) = 1 ]; then run_cli "$r"; run_gui "$r"; else run_gui "$r"; run_cli "$r"; fi
done
echo "load after: $(uptime)"
c=$(awk '$1 > 0 {print $2}' "$work/cli" | median)
g=$(cut -d' ' -f2 "$work/gui" | median)
echo "tree: $tree ($bytes bytes), medium: $media, disc in ${DISC_DIR:-$work}, $rounds rounds, medians"
awk -v c="$c" -v g="$g" -v b="$bytes" 'BEGIN {
  printf "zantic-cli burn %.2f s (%.1f MB/s), dialog burn %.2f s (%.1f MB/s): dialog throughput / cli %.1f%%\n",
         c, b / 1e6 / c, g, b / 1e6 / g, 100 * c / g }'
for r in $(seq 1 "$rounds"); do
  echo "$(awk -v r="$r" '$1 == r {print $2}' "$work/cli") $(awk -v r="$r" '$1 == r {print $2}' "$work/gui")" |
    awk '{print 100 * $1 / $2}'
done >"$work/ratios"
printf 'per round, dialog throughput / cli: median %.1f%%, each: %s\n' "$(median <"$work/ratios")" \
  "$(awk '{printf "%.1f%% ", $1}' "$work/ratios")"
