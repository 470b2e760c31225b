#!/usr/bin/env bash
# The front-end-only check of a build that is only compiled: a narrowing
# that a 32-bit target makes an error fails it, and the file is named.
set -uo pipefail
checker=$(realpath "$(dirname "$0")/../../scripts/syntax-check.py")
cxx=$(command -v i686-w64-mingw32-g++-posix || command -v g++)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
problems=0
fail() { echo "FAIL: $*"; problems=1; }

printf '#include <cstdint>\nlong F(std::int64_t v) { return v; }\n' >narrow.cpp
printf 'int G(int v) { return v + 1; }\n' >clean.cpp
# -m32 where the compiler is the host's: long is 32 bits there too.
m32=
case "$cxx" in *mingw*) ;; *) m32=-m32 ;; esac
entries=""
for f in narrow clean; do
  entries+="{\"directory\":\"$work\",\"file\":\"$work/$f.cpp\",\"command\":\"$cxx $m32 -std=c++20 -Wconversion -Werror -MD -MT $f.o -MF $f.o.d -o $f.o -c $work/$f.cpp\"},"
done
echo "[${entries%,}]" >compile_commands.json

out=$(python3 "$checker" . -j 2 2>&1); rc=$?
[ "$rc" -eq 1 ] || fail "exit $rc with a narrowing error, expected 1"
grep -q "FAILED: $work/narrow.cpp" <<<"$out" || fail "the failing file is not named: $out"
grep -q "FAILED: $work/clean.cpp" <<<"$out" && fail "the clean file is reported"
grep -q "1 of 2 sources clean" <<<"$out" || fail "no count: $out"
[ ! -e narrow.o ] && [ ! -e clean.o ] || fail "an object was written"

out=$(python3 "$checker" . --skip narrow 2>&1); rc=$?
[ "$rc" -eq 0 ] || fail "exit $rc with the failing file skipped: $out"
exit $problems
