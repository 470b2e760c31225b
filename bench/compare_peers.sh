#!/usr/bin/env bash
# Whole-process comparison of zantic-cli build-iso with xorriso and genisoimage
# building the same tree, and with cat copying the same bytes (the floor).
#
# usage: bench/compare_peers.sh [-n RUNS] [-o OUTDIR] [-c CLI] TREE
#   -n RUNS       measured runs per tool (default 3), after one warm-up run each
#   -o OUTDIR     where the images go, best on the disk that holds TREE
#                 (default: a new folder beside TREE, removed at the end)
#   -c CLI        zantic-cli to measure (default build/release/src/cli/zantic-cli)
#   env WARMUP=0  skip the warm-up runs
#
# Each tool builds one output file from TREE, which is deleted after the run.
# The page cache cannot be dropped without privileges we do not assume, so the
# warm-up run brings TREE into the cache for everyone alike, and the order of
# the tools alternates from run to run.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
runs=3
outdir=
cli=$repo/build/release/src/cli/zantic-cli

usage() {
  sed -n '4,10p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

while getopts "n:o:c:h" opt; do
  case $opt in
    n) runs=$OPTARG ;;
    o) outdir=$OPTARG ;;
    c) cli=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] || usage
[ -d "$1" ] || { echo "not a folder: $1" >&2; exit 2; }
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "RUNS must be a positive number" >&2; exit 2; }
tree=$(cd "$1" && pwd)
name=$(basename "$tree")
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (apt-get install time)" >&2; exit 2; }

own_outdir=0
if [ -z "$outdir" ]; then
  outdir=$(mktemp -d "$(dirname "$tree")/zantic-bench-out.XXXXXX")
  own_outdir=1
fi
mkdir -p "$outdir"
timings=$(mktemp -d)
cleanup() {
  rm -rf "$timings"
  if [ "$own_outdir" = 1 ]; then rm -rf "$outdir"; fi
}
trap cleanup EXIT

# Every tool writes the tree as a folder of its own name under the root, as
# zantic-cli does with a folder source.
run_tool() {
  local tool=$1 out=$2
  case $tool in
    # Exit 3: the image is complete but names too long for Joliet were left out
    # (the shared trees have a few); the peers shorten such names instead.
    zantic) "$cli" build-iso -V BENCH -o "$out" "$tree" >/dev/null || [ $? -eq 3 ] ;;
    xorriso) xorriso -as mkisofs -quiet -J -joliet-long -V BENCH -graft-points -o "$out" "/$name/=$tree" ;;
    genisoimage) genisoimage -quiet -J -joliet-long -V BENCH -graft-points -o "$out" "/$name/=$tree" ;;
    cat) find "$tree" -type f -print0 | xargs -0 cat >"$out" ;;
  esac
}

available() {
  case $1 in
    zantic) [ -x "$cli" ] ;;
    *) command -v "$1" >/dev/null ;;
  esac
}

tools=()
for t in zantic xorriso genisoimage cat; do
  if available "$t"; then
    tools+=("$t")
  elif [ "$t" = zantic ]; then
    echo "note: skipping zantic: $cli not found (cmake --preset release && cmake --build --preset release)" >&2
  else
    echo "note: skipping $t: not installed" >&2
  fi
done
[ ${#tools[@]} -gt 0 ] || { echo "no tool to measure" >&2; exit 1; }

# One measured run: appends "wall cpu rss_kib bytes" to $timings/TOOL, or
# marks the tool as failed.
measure() {
  local tool=$1 out=$outdir/$1.out tf=$timings/time.txt
  [ ! -e "$timings/$tool.failed" ] || return 0
  rm -f "$out"
  export -f run_tool
  export cli tree name
  if /usr/bin/time -f '%e %U %S %M' -o "$tf" bash -c 'run_tool "$@"' _ "$tool" "$out" 2>"$timings/$tool.err"; then
    local size
    size=$(stat -c %s "$out")
    awk -v size="$size" '{ printf "%s %.2f %s %s\n", $1, $2 + $3, $4, size }' "$tf" >>"$timings/$tool"
  else
    echo "$tool failed:" >&2
    tail -n 5 "$timings/$tool.err" >&2
    touch "$timings/$tool.failed"
  fi
  rm -f "$out"
}

files=$(find "$tree" -type f | wc -l)
bytes=$(du -sb --apparent-size "$tree" | cut -f1)
echo "tree $tree: $files files, $bytes bytes; $runs runs per tool; outputs in $outdir"
for t in "${tools[@]}"; do
  case $t in
    zantic) echo "  zantic: $cli" ;;
    xorriso) echo "  xorriso: $(xorriso -version 2>/dev/null | head -n 1)" ;;
    genisoimage) echo "  genisoimage: $(genisoimage -version 2>&1 | head -n 1)" ;;
  esac
done

if [ "${WARMUP:-1}" != 0 ]; then
  for t in "${tools[@]}"; do
    measure "$t"
    rm -f "$timings/$t"
  done
fi

for ((i = 0; i < runs; i++)); do
  order=("${tools[@]}")
  if ((i % 2 == 1)); then
    order=()
    for ((j = ${#tools[@]} - 1; j >= 0; j--)); do order+=("${tools[j]}"); done
  fi
  for t in "${order[@]}"; do
    measure "$t"
  done
  echo "run $((i + 1))/$runs done" >&2
done

median() { # column number, file
  sort -n -k"$1","$1" "$2" | awk -v c="$1" '{ v[NR] = $c } END {
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() { # peer, zantic
  awk -v p="$1" -v z="$2" 'BEGIN { if (z == "" || z + 0 == 0) print "n/a"; else printf "%.2f\n", p / z }'
}

z_wall='' z_cpu='' z_rss=''
if [ -s "$timings/zantic" ] && [ ! -e "$timings/zantic.failed" ]; then
  z_wall=$(median 1 "$timings/zantic")
  z_cpu=$(median 2 "$timings/zantic")
  z_rss=$(median 3 "$timings/zantic")
fi

echo
printf '%-12s %9s %9s %10s %12s %9s %9s %9s\n' tool wall_s cpu_s rss_MiB output_MiB wall/z cpu/z rss/z
for t in "${tools[@]}"; do
  if [ -e "$timings/$t.failed" ] || [ ! -s "$timings/$t" ]; then
    printf '%-12s %s\n' "$t" "FAILED (see the messages above)"
    continue
  fi
  wall=$(median 1 "$timings/$t")
  cpu=$(median 2 "$timings/$t")
  rss=$(median 3 "$timings/$t")
  size=$(median 4 "$timings/$t")
  printf '%-12s %9s %9s %10.1f %12.1f %9s %9s %9s\n' "$t" "$wall" "$cpu" \
    "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" "$(awk -v b="$size" 'BEGIN { print b / 1048576 }')" \
    "$(ratio "$wall" "$z_wall")" "$(ratio "$cpu" "$z_cpu")" "$(ratio "$rss" "$z_rss")"
done
echo "medians of $runs runs; ratios are tool / zantic (above 1: zantic is faster or smaller)"
if compgen -G "$timings/*.failed" >/dev/null; then
  exit 1
fi
