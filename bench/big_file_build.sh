#!/usr/bin/env bash
# Building an image of a tree with one very large file added, against `cat`
# of the same sources, and the build's memory with and without that file.
#
#   bench/big_file_build.sh [-n ROUNDS] TREE [GIB]     GIB defaults to 9
#
# The large file is sparse (`truncate -s`), so it takes no disk space; the
# image writer keeps its holes as holes and `cat` reads them as zeros.
# Six contenders take turns in a rotating order, ROUNDS times (default 3),
# after one warm-up of each that brings the tree into the page cache:
#   build+  zantic-cli build-iso of TREE and the large file
#   cat+    cat of the same files, sorted, to /dev/null
#   build   zantic-cli build-iso of TREE alone
#   cat     cat of TREE's files to /dev/null
#   copy+   cat of TREE's files into one file beside the image, then dd of
#           the large file after them with conv=sparse (its zeros stay a hole)
#   copy    cat of TREE's files into one file beside the image
# cat to /dev/null writes nothing; copy writes the bytes the image writer
# writes, so build/copy is the writer's own cost.
# The image goes to OUT_DIR (default /dev/shm, where its writeback costs
# nothing, as /dev/null costs cat nothing) and is deleted after each run;
# build-iso refuses a device or a pipe as its output. /usr/bin/time gives
# wall and CPU seconds and peak RSS; the table shows medians, and the median
# of each round's own build/cat ratio.
set -euo pipefail
rounds=3
if [ "${1:-}" = -n ]; then rounds=$2; shift 2; fi
tree=${1:?usage: $0 [-n ROUNDS] TREE [GIB]}
gib=${2:-9}
cd "$(dirname "$0")/.."
cli=build/release/src/cli/zantic-cli
[ -x "$cli" ] || { echo "build the release preset first (zantic-cli)" >&2; exit 2; }
work=$(mktemp -d)
out=$(mktemp -d "${OUT_DIR:-/dev/shm}/big-build.XXXXXX")
trap 'rm -rf "$work" "$out"' EXIT
big="$work/Full Backup $gib GiB.img"
truncate -s "${gib}G" "$big"
find "$tree" -type f | LC_ALL=C sort >"$work/list"
cp "$work/list" "$work/list+"
echo "$big" >>"$work/list+"

measure() {  # label, command...: appends "wall cpu rss" to $work/label
  local label=$1; shift
  local rc=0
  /usr/bin/time -f "%e %U %S %M" -o "$work/t" "$@" >/dev/null 2>"$work/err" || rc=$?
  if [ $rc -ne 0 ]; then cat "$work/err" >&2; exit 1; fi
  tail -1 "$work/t" | awk '{printf "%.2f %.2f %d\n", $1, $2 + $3, $4}' >>"$work/$label"
  echo "$round $label $(tail -1 "$work/t" | cut -d' ' -f1)" >>"$work/all"
  rm -f "$out/x.iso"
}
run_build+() { measure build+ "$cli" build-iso -o "$out/x.iso" "$tree" "$big"; }
run_build() { measure build "$cli" build-iso -o "$out/x.iso" "$tree"; }
run_cat+() { measure cat+ sh -c 'tr "\n" "\0" <"$1" | xargs -0 cat >/dev/null' sh "$work/list+"; }
run_cat() { measure cat sh -c 'tr "\n" "\0" <"$1" | xargs -0 cat >/dev/null' sh "$work/list"; }
# cat that writes what the image writer writes: the tree's bytes into one
# file beside the image, the large file's zeros left as a hole (dd skips them).
run_copy+() {
  measure copy+ sh -c 'tr "\n" "\0" <"$1" | xargs -0 cat >"$2" &&
    dd if="$3" of="$2" bs=1M conv=sparse,notrunc oflag=seek_bytes seek=$(stat -c %s "$2") status=none' \
    sh "$work/list" "$out/x.iso" "$big"
}
run_copy() { measure copy sh -c 'tr "\n" "\0" <"$1" | xargs -0 cat >"$2"' sh "$work/list" "$out/x.iso"; }
median() {  # file, column
  sort -n -k"$2","$2" "$1" | awk -v c="$2" '{v[NR]=$c} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'
}

echo "load before: $(uptime)"
round=0
order=(build+ cat+ copy+ build cat copy)
for c in "${order[@]}"; do "run_$c"; done
for c in "${order[@]}"; do rm -f "$work/$c"; done
rm -f "$work/all"
for round in $(seq 1 "$rounds"); do
  for i in 0 1 2 3 4 5; do "run_${order[$(((i + round - 1) % 6))]}"; done
done
echo "load after: $(uptime)"
echo "tree: $tree plus a sparse $gib GiB file, image in $out, $rounds rounds, medians"
printf '%-7s %8s %8s %10s   %s\n' what wall cpu "rss KB" "all walls"
for w in "${order[@]}"; do
  printf '%-7s %8.2f %8.2f %10d   %s\n' "$w" "$(median "$work/$w" 1)" "$(median "$work/$w" 2)" \
    "$(median "$work/$w" 3)" "$(cut -d' ' -f1 "$work/$w" | tr '\n' ' ')"
done
for pair in "build+ cat+" "build+ copy+" "build cat" "build copy"; do
  set -- $pair
  for r in $(seq 1 "$rounds"); do
    echo "$(awk -v r="$r" -v w="$1" '$1 == r && $2 == w {print $3}' "$work/all") $(awk -v r="$r" -v w="$2" '$1 == r && $2 == w {print $3}' "$work/all")" |
      awk '{print 100 * $1 / $2}'
  done | sort -n >"$work/ratios"
  printf '%s / %s wall: median of rounds %.0f%%, each: %s\n' "$1" "$2" "$(median "$work/ratios" 1)" \
    "$(awk '{printf "%.0f%% ", $1}' "$work/ratios")"
done
awk -v a="$(median "$work/build+" 3)" -v b="$(median "$work/build" 3)" \
  'BEGIN {printf "peak RSS with the large file / without: %.2f\n", a / b}'
