#!/usr/bin/env bash
# Builds the session-import and executable-icon fuzzers with clang and runs
# them (the icon reader gets a quarter of the time).
#
#   scripts/fuzz.sh [SECONDS]   default 60; the corpora grow in build/fuzz/corpus*
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

CXX=${CXX_FUZZ:-clang++-14} cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++-14}" -DZANTIC_FUZZ=ON -DZANTIC_TESTS=OFF -DZANTIC_WERROR=OFF >/dev/null
cli=${ZANTIC_SEED_CLI:-}
if [ -n "$cli" ]; then
  cli=$(realpath "$cli")
  cmake --build "$build" --target zantic_import_fuzzer zantic_pe_icon_fuzzer zantic_pe_seed -j2
else
  cli=$build/src/cli/zantic-cli
  cmake --build "$build" --target zantic_import_fuzzer zantic_pe_icon_fuzzer zantic_pe_seed zantic-cli -j2
fi
mkdir -p "$build/pe-seeds" "$build/corpus-pe"
"$build/fuzz/zantic_pe_seed" "$build/pe-seeds"

seeds=$build/seeds
mkdir -p "$seeds" "$build/corpus"
if [ ! -e "$seeds/.made" ]; then
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
if [ ! -e "$seeds/own-multi-extent-cut48.img" ]; then
  big=$(mktemp -d)
  mkdir -p "$big/src"
  truncate -s $((4 * 1024 * 1024 * 1024 + 1)) "$big/src/big.bin"
  printf 'x\n' >"$big/src/after.txt"
  if "$cli" build-iso -o "$big/multi.iso" "$big/src" >/dev/null; then
    head -c $((48 * 2048)) "$big/multi.iso" >"$seeds/own-multi-extent-cut48.img"
  fi
  rm -rf "$big"
fi

cd "$build"
set +e
pe_seconds=$(( seconds / 4 > 0 ? seconds / 4 : 1 ))
fuzz/zantic_pe_icon_fuzzer -max_total_time="$pe_seconds" -timeout=20 -rss_limit_mb=2048 -max_len=262144 \
  -print_final_stats=1 corpus-pe pe-seeds >fuzz-pe.log 2>&1
pe_rc=$?
grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' fuzz-pe.log || true
[ $pe_rc -eq 0 ] || echo "icon fuzzer failed; see $build/fuzz-pe.log" >&2
seconds=$(( seconds - pe_seconds > 0 ? seconds - pe_seconds : 1 ))
fuzz/zantic_import_fuzzer -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=1048576 \
  -print_final_stats=1 corpus "$seeds" >fuzz.log 2>&1
rc=$?
set -e
grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' fuzz.log || true
[ $rc -eq 0 ] || echo "fuzzer failed; see $build/fuzz.log" >&2
[ $rc -ne 0 ] || rc=$pe_rc
exit $rc
