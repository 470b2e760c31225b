#!/usr/bin/env bash
# Images built from files that are not in memory: zantic-cli build-iso against
# genisoimage and a sequential cat of the same files (small tree), against an
# earlier zantic-cli (small and mixed trees), and the same again with warm
# caches (small, big, mixed). Every cold run starts after `sync` and dropping
# the page cache, which needs root. Tools take turns in a rotating order so
# that none always follows another; the table shows medians, ratios and the
# peak RSS.
#
#   bench/cold_sources.sh [-n RUNS] [-b BASELINE_CLI] [-c CLI] [-o OUTDIR] [-w|-W] TREES
#
# TREES holds small/, mixed/ and big/ from bench/make_tree.sh (any missing one
# is skipped). -b names the zantic-cli to compare with (e.g. one built from
# main); -w skips the warm-cache part, -W the cold one. Outputs go to OUTDIR (default: beside
# the trees) and are deleted after each run.
set -euo pipefail
runs=3
repo=$(cd "$(dirname "$0")/.." && pwd)
cli=$repo/build/release/src/cli/zantic-cli
base=
outdir=
warm=1
cold=1
while getopts "n:b:c:o:wW" opt; do
  case $opt in
    n) runs=$OPTARG ;;
    b) base=$OPTARG ;;
    c) cli=$OPTARG ;;
    o) outdir=$OPTARG ;;
    w) warm=0 ;;
    W) cold=0 ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
trees=${1:?usage: $0 [-n RUNS] [-b BASELINE_CLI] [-c CLI] [-o OUTDIR] [-w] TREES}
[ -x "$cli" ] || { echo "no $cli (cmake --preset release && cmake --build --preset release)" >&2; exit 2; }
[ -w /proc/sys/vm/drop_caches ] || { echo "dropping the page cache needs root" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (apt-get install time)" >&2; exit 2; }
outdir=${outdir:-$(mktemp -d "$trees/cold-bench.XXXXXX")}
work=$(mktemp -d)
trap 'rm -rf "$work"; rm -f "$outdir"/*.out' EXIT

drop() { sync; echo 3 >/proc/sys/vm/drop_caches; }

run_one() { # tool tree out
  case $1 in
    zantic) "$cli" build-iso -V BENCH -o "$3" "$2" >/dev/null 2>&1 || [ $? -eq 3 ] ;;
    before) "$base" build-iso -V BENCH -o "$3" "$2" >/dev/null 2>&1 || [ $? -eq 3 ] ;;
    genisoimage) genisoimage -quiet -J -joliet-long -V BENCH -graft-points -o "$3" "/$(basename "$2")/=$2" 2>/dev/null ;;
    cat) find "$2" -type f -print0 | xargs -0 cat >"$3" ;;
  esac
}
export -f run_one
export cli base

# measure LABEL TREE COLD TOOLS...: appends "wall cpu rss" lines per tool.
measure() {
  local label=$1 tree=$2 cold=$3
  shift 3
  local tools=("$@") n=${#tools[@]} t
  if [ "$cold" = 0 ]; then
    for t in "${tools[@]}"; do run_one "$t" "$tree" "$outdir/$t.out"; rm -f "$outdir/$t.out"; done
  fi
  for ((r = 0; r < runs; r++)); do
    for ((k = 0; k < n; k++)); do
      local t=${tools[$(((k + r) % n))]}
      [ "$cold" = 1 ] && drop
      /usr/bin/time -f '%e %U %S %M' -o "$work/t" bash -c 'run_one "$@"' _ "$t" "$tree" "$outdir/$t.out"
      awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$work/t" >>"$work/$label.$t"
      rm -f "$outdir/$t.out"
    done
  done
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

report() { # LABEL REF TOOLS...
  local label=$1 ref=$2
  shift 2
  local rw
  rw=$(cut -d' ' -f1 "$work/$label.$ref" | median)
  printf '%-22s %-12s %8s %8s %10s %8s\n' "$label" tool wall cpu "rss(KiB)" "/$ref"
  for t in "$@"; do
    local w c m
    w=$(cut -d' ' -f1 "$work/$label.$t" | median)
    c=$(cut -d' ' -f2 "$work/$label.$t" | median)
    m=$(cut -d' ' -f3 "$work/$label.$t" | median)
    printf '%-22s %-12s %8s %8s %10s %8.2f   (walls: %s)\n' "" "$t" "$w" "$c" "$m" \
      "$(awk -v a="$w" -v b="$rw" 'BEGIN {print (b > 0 ? a / b : 0)}')" "$(cut -d' ' -f1 "$work/$label.$t" | tr '\n' ' ')"
  done
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg), cores: $(nproc), runs: $runs"
with_base=()
[ -n "$base" ] && [ -x "$base" ] && with_base=(before)
if [ "$cold" = 1 ] && [ -d "$trees/small" ]; then
  measure cold-small "$trees/small" 1 zantic genisoimage cat "${with_base[@]}"
  report cold-small zantic zantic genisoimage cat "${with_base[@]}"
fi
if [ "$cold" = 1 ] && [ -d "$trees/mixed" ] && [ -n "${with_base[*]}" ]; then
  measure cold-mixed "$trees/mixed" 1 zantic before
  report cold-mixed zantic zantic before
fi
if [ "$warm" = 1 ] && [ -n "${with_base[*]}" ]; then
  for name in small big mixed; do
    [ -d "$trees/$name" ] || continue
    measure "warm-$name" "$trees/$name" 0 zantic before
    report "warm-$name" zantic zantic before
  done
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
