#!/usr/bin/env bash
# Builds the fuzzers with clang and runs them for SECONDS of processor time
# in all, in two lanes (half of SECONDS on each of two cores): the session
# import gets the largest share; the icon reader, the checksum file, the
# damage map, task files, INI profiles and the drive's MMC answers get the
# rest.
#
#   scripts/fuzz.sh [SECONDS]   default 60; the corpora grow in build/fuzz/corpus*
#
# FUZZ_RUNS=N makes every target stop after N executions instead, all the
# targets running at once (the time then bounds each target, not the whole
# run); scripts/fuzz-long.sh uses it. FUZZ_TARGETS names the targets to run
# (default: all of them).
#
# ZANTIC_SEED_CLI names a zantic-cli already built to make the seeds with;
# without it one is built here with clang.
# Seeds are made on the spot: images written by zantic-cli, by xorriso (two
# sessions appended to one file) and by genisoimage (plain, Joliet, -C/-M).
# A crash leaves its input in build/fuzz/crash-*; the run fails then.
set -euo pipefail

seconds=${1:-60}
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/fuzz

# -O1 -g1: the engine builds in about half the time of -O2 -g, runs nearly as
# many inputs a second, and a crash still shows file and line.
CXX=${CXX_FUZZ:-clang++-14} cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++-14}" -DZANTIC_FUZZ=ON -DZANTIC_TESTS=OFF -DZANTIC_WERROR=OFF >/dev/null
cli=${ZANTIC_SEED_CLI:-}
targets="zantic_import_fuzzer zantic_pe_icon_fuzzer zantic_pe_seed zantic_checksum_fuzzer zantic_sector_map_fuzzer
  zantic_task_fuzzer zantic_ini_fuzzer zantic_mmc_fuzzer"
if [ -n "$cli" ]; then
  cli=$(realpath "$cli")
  cmake --build "$build" --target $targets -j2
else
  cli=$build/src/cli/zantic-cli
  cmake --build "$build" --target $targets zantic-cli -j2
fi
mkdir -p "$build/pe-seeds" "$build/corpus-pe"
"$build/fuzz/zantic_pe_seed" "$build/pe-seeds"

chosen=" ${FUZZ_TARGETS:-checksum sector_map task ini mmc pe_icon import} "
seeds=$build/seeds
mkdir -p "$seeds" "$build/corpus"
if [ ! -e "$seeds/.made" ] && [[ $chosen == *" import "* ]]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/a/sub" "$work/b"
  printf 'hello\n' >"$work/a/README.txt"
  printf 'deep\n' >"$work/a/sub/A Long Joliet Name.txt"
  printf 'two\n' >"$work/b/second.txt"
  ln -s ../README.txt "$work/a/sub/link"
  mkdir -p "$work/deep/1/2/3/4/5/6/7/8/9/10"
  printf 'deep\n' >"$work/deep/1/2/3/4/5/6/7/8/9/10/bottom.txt"
  "$cli" build-iso -o "$seeds/own-joliet.iso" "$work/a" >/dev/null
  "$cli" build-iso --no-joliet -o "$seeds/own-iso.iso" "$work/a" >/dev/null
  if command -v xorriso >/dev/null; then
    (cd "$work/a" && xorriso -dev "stdio:$seeds/xorriso-2s.iso" -joliet on -add README.txt sub -- >/dev/null 2>&1)
    (cd "$work/b" && xorriso -dev "stdio:$seeds/xorriso-2s.iso" -joliet on -add second.txt -- >/dev/null 2>&1)
  fi
  if command -v genisoimage >/dev/null; then
    genisoimage -quiet -o "$seeds/geniso-plain.iso" "$work/a"
    # Rock Ridge with relocated directories (CL, PL, RE).
    genisoimage -quiet -R -o "$seeds/geniso-rr-deep.iso" "$work/deep" 2>/dev/null
    genisoimage -quiet -J -o "$work/g1.iso" "$work/a"
    next=$(( $(stat -c %s "$work/g1.iso") / 2048 ))
    genisoimage -quiet -J -C "0,$next" -M "$work/g1.iso" -o "$work/g2.bin" "$work/b" 2>/dev/null
    cat "$work/g1.iso" "$work/g2.bin" >"$seeds/geniso-2s.iso"
  fi
  # Cut copies keep the descriptors and directories without the file data:
  # small inputs run many times faster.
  for f in "$seeds"/*.iso; do
    head -c $((48 * 2048)) "$f" >"${f%.iso}-cut48.img"
  done
  touch "$seeds/.made"
fi

# A file of 4 GiB + 1 in two extents: only the descriptors and directories
# are kept, the sparse source and image never take their size on the disk.
if [ ! -e "$seeds/own-multi-extent-cut48.img" ] && [[ $chosen == *" import "* ]]; then
  big=$(mktemp -d)
  mkdir -p "$big/src"
  truncate -s $((4 * 1024 * 1024 * 1024 + 1)) "$big/src/big.bin"
  printf 'x\n' >"$big/src/after.txt"
  if "$cli" build-iso -o "$big/multi.iso" "$big/src" >/dev/null; then
    head -c $((48 * 2048)) "$big/multi.iso" >"$seeds/own-multi-extent-cut48.img"
  fi
  rm -rf "$big"
fi

# The text formats start from files of the shapes the program writes.
text=$build/text-seeds
if [ ! -e "$text/.made" ]; then
  mkdir -p "$text/checksum" "$text/sector-map" "$text/task" "$text/ini"
  printf '%s  README.txt\n%s  sub/A Long Joliet Name.txt\n\\%s  odd\\nname\\\\x\n' \
    "$(printf a | sha256sum | cut -c1-64)" "$(printf b | sha256sum | cut -c1-64)" \
    "$(printf c | sha256sum | cut -c1-64)" >"$text/checksum/sums"
  printf '# zantic sector map: unreadable 2048-byte sectors, zeros in the image\nsectors 359424\n1200 16\n358000 1\n' \
    >"$text/sector-map/map"
  printf 'My Disc 3_1_26(Docs(/home/a/a.txt*1,234()#)#/home/a/Photos (x86)*0()#)%%/b/%%28c%%29*5()#)#\r\n' \
    >"$text/task/task.mvt"
  printf '[General]\r\nBuffer=6\r\n[Burning]\r\nCloseDisc=0\r\nChecksums=1\r\n[Count]\r\nValue=1\r\n[Task]\r\nTask0=W\r\n[W]\r\nScheduling=1 Days\r\nLast Backup=2001-01-01\r\n' \
    >"$text/ini/Option.ini"
  mkdir -p "$text/mmc"
  # A drive that answers every query with a short good answer.
  head -c 4096 /dev/zero | tr '\0' '\1' >"$text/mmc/ones"
  touch "$text/.made"
fi

cd "$build"
set +e
runs=${FUZZ_RUNS:-}
rc=0
# name, share of the time in tenths, max input length, corpus, seed folders
run() {
  local name=$1 share=$2 max_len=$3 corpus=$4
  shift 4
  [[ $chosen == *" $name "* ]] || return 0
  local limit
  if [ -n "$runs" ]; then
    limit="-runs=$runs -max_total_time=$seconds"
  else
    limit="-max_total_time=$(( seconds * share / 10 > 0 ? seconds * share / 10 : 1 ))"
  fi
  mkdir -p "$corpus"
  fuzz/zantic_${name}_fuzzer $limit -timeout=20 -rss_limit_mb=2048 -max_len="$max_len" \
    -print_final_stats=1 "$corpus" "$@" >"fuzz-$name.log" 2>&1
  echo $? >"fuzz-$name.rc"
}
report() {
  local name=$1 corpus=$2
  [[ $chosen == *" $name "* ]] || return 0
  echo "$name: $(grep -E '^stat::number_of_executed_units' "fuzz-$name.log" | awk '{print $2}') executions," \
    "corpus $(find "$corpus" -type f | wc -l) files"
  grep -E '^(==[0-9]+==ERROR|SUMMARY)' "fuzz-$name.log" || true
  local r
  r=$(cat "fuzz-$name.rc")
  if [ "$r" -ne 0 ]; then
    echo "$name fuzzer failed; see $build/fuzz-$name.log" >&2
    rc=$r
  fi
}
# Shares of a minute: the five small parsers 1 each, icon 1, import 4. A
# long run starts them all at once.
all=(
  # Longer than the longest line, so that both length limits are reached.
  "checksum 1 40000 corpus-checksum $text/checksum"
  "sector_map 1 16384 corpus-sector-map $text/sector-map"
  "task 1 16384 corpus-task $text/task"
  "ini 1 16384 corpus-ini $text/ini"
  "mmc 1 8192 corpus-mmc $text/mmc"
  "pe_icon 1 262144 corpus-pe pe-seeds"
  "import 4 1048576 corpus $seeds"
)
# shellcheck disable=SC2086
if [ -n "$runs" ]; then
  for t in "${all[@]}"; do run $t & done
else
  # Two lanes, one a core, of half the time each: the import and the
  # checksum file in one, the other five in the other.
  (for t in "${all[6]}" "${all[0]}"; do run $t; done) &
  (for t in "${all[@]:1:5}"; do run $t; done) &
fi
wait
for t in "${all[@]}"; do
  # shellcheck disable=SC2086
  set -- $t
  report "$1" "$4"
done
set -e
exit $rc
