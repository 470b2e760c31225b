#!/usr/bin/env bash
# Whole-process comparison of zantic-cli read with dd, and of zantic-cli
# check with sha256sum, on the disc of one tree in the virtual recorder.
#
# usage: bench/compare_health.sh [-n ROUNDS] [-m MEDIA] [-c CLI] TREE
#   -n ROUNDS   measured rounds (default 3)
#   -m MEDIA    virtual medium to burn (default dvd+r)
#   -c CLI      zantic-cli to measure (default build/release/src/cli/zantic-cli)
#
# The tree is burned once with --checksums; the session is exported
# (vdisc export) and extracted by xorriso. Each round times, in an order
# that alternates from round to round:
#   read    zantic-cli read --device DISC -o OUT.iso
#   dd      dd if=EXPORT.iso of=OUT.iso bs=1M conv=fsync   (the same bytes,
#           file to file, on the disk before it ends, as read's image is)
#   check   zantic-cli check --device DISC
#   sha     sha256sum -c over the extracted files
# and prints each round's ratios dd/read and sha/check (1.0 = as fast as the
# peer; above is faster), then the median of each. Each command starts after
# a sync, so that none pays for the writeback of the one before. Work files
# go into a folder beside the tree, removed at the end.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
rounds=3
media=dvd+r
cli=$repo/build/release/src/cli/zantic-cli

usage() {
  sed -n '4,9p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

while getopts "n:m:c:h" opt; do
  case $opt in
    n) rounds=$OPTARG ;;
    m) media=$OPTARG ;;
    c) cli=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] || usage
[ -d "$1" ] || { echo "not a folder: $1" >&2; exit 2; }
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "ROUNDS must be a positive number" >&2; exit 2; }
for tool in xorriso sha256sum dd; do
  command -v $tool >/dev/null || { echo "$tool is needed" >&2; exit 2; }
done
tree=$(cd "$1" && pwd)
work=$(mktemp -d "$(dirname "$tree")/health-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

disc=$work/disc.zvd
"$cli" vdisc create "$disc" --media "$media" >/dev/null
"$cli" burn --device "$disc" --checksums "$tree" >/dev/null 2>&1
"$cli" vdisc export "$disc" "$work/export.iso" >/dev/null
mkdir "$work/files"
xorriso -osirrox on -indev "$work/export.iso" -extract / "$work/files" >/dev/null 2>&1
echo "disc: $(($(stat -c %s "$work/export.iso") / 1048576)) MiB, $(wc -l < "$work/files/~zantic.sha256") files"

now() { date +%s.%N; }
timed() {  # prints the seconds a command took; its output is dropped
  local t0 t1
  sync
  t0=$(now)
  "$@" >/dev/null 2>&1 || true
  t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}' 
}

read_ratios=()
check_ratios=()
for ((i = 1; i <= rounds; i++)); do
  rm -f "$work/out.iso" "$work/out.iso.map"
  if ((i % 2)); then
    t_read=$(timed "$cli" read --device "$disc" -o "$work/out.iso"); rm -f "$work/out.iso"*
    t_dd=$(timed dd if="$work/export.iso" of="$work/out.iso" bs=1M conv=fsync); rm -f "$work/out.iso"
    t_check=$(timed "$cli" check --device "$disc")
    t_sha=$(timed sh -c "cd '$work/files' && sha256sum -c '~zantic.sha256'")
  else
    t_dd=$(timed dd if="$work/export.iso" of="$work/out.iso" bs=1M conv=fsync); rm -f "$work/out.iso"
    t_read=$(timed "$cli" read --device "$disc" -o "$work/out.iso"); rm -f "$work/out.iso"*
    t_sha=$(timed sh -c "cd '$work/files' && sha256sum -c '~zantic.sha256'")
    t_check=$(timed "$cli" check --device "$disc")
  fi
  r1=$(awk -v a="$t_dd" -v b="$t_read" 'BEGIN {print a / b}')
  r2=$(awk -v a="$t_sha" -v b="$t_check" 'BEGIN {print a / b}')
  read_ratios+=("$r1")
  check_ratios+=("$r2")
  printf 'round %d: read %.2f s, dd %.2f s, dd/read %.2f; check %.2f s, sha256sum %.2f s, sha/check %.2f\n' \
    "$i" "$t_read" "$t_dd" "$r1" "$t_check" "$t_sha" "$r2"
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
printf 'median dd/read %.2f, median sha256sum/check %.2f (target: at least 0.90 each)\n' \
  "$(median "${read_ratios[@]}")" "$(median "${check_ratios[@]}")"
