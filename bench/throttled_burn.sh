#!/usr/bin/env bash
# Burns a tree to a virtual recorder whose buffer drains at a real drive's
# speed (16X DVD, 22,160 kB/s, by default) and reports how the drive buffer
# fared once it was first full: a real drive runs dry where it reads empty.
# The machine's load is shown too: on a machine busy with other work the
# reading gets too little processor time and the buffer drains for that.
#
#   bench/throttled_burn.sh TREE [KBPS] [MEDIA]     MEDIA defaults to dvd+r-dl
#   COLD=1 drops the page cache first (root), so the tree is read from disk.
#   LOAD=N runs N busy loops beside the burn, in its session, for its length.
#   CLI=PATH burns with another zantic-cli (one built from older code, say).
#   AS=USER burns as that user (from root), who may not raise a thread's
#   priority again once lowered, as a person at a desktop.
set -euo pipefail
tree=${1:?usage: $0 TREE [KBPS] [MEDIA]}
rate=${2:-22160}
media=${3:-dvd+r-dl}
cd "$(dirname "$0")/.."
cli=${CLI:-$PWD/build/release/src/cli/zantic-cli}
[ -x "$cli" ] || { echo "build the release preset first" >&2; exit 2; }
work=$(mktemp -d)
hogs=()
cleanup() {
  [ ${#hogs[@]} -eq 0 ] || kill "${hogs[@]}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
as=()
if [ -n "${AS:-}" ]; then
  as=(setpriv --reuid="$AS" --regid="$(id -g "$AS")" --clear-groups)
  chmod 777 "$work"
fi
"${as[@]}" "$cli" vdisc create "$work/d.zvd" --media "$media" >/dev/null
"${as[@]}" "$cli" vdisc fault "$work/d.zvd" --throttle "$rate" >/dev/null
if [ "${COLD:-0}" = 1 ]; then sync; echo 3 >/proc/sys/vm/drop_caches; fi
for ((i = 0; i < ${LOAD:-0}; ++i)); do
  (while :; do :; done) &
  hogs+=($!)
done
load=$(cut -d' ' -f1 /proc/loadavg)
start=$(date +%s.%N)
rc=0
ZANTIC_VDRIVE_LOG="$work/log" "${as[@]}" "$cli" burn --device "$work/d.zvd" "$tree" >/dev/null 2>"$work/err" || rc=$?
end=$(date +%s.%N)
if [ $rc -ne 0 ] && [ $rc -ne 3 ]; then tail -5 "$work/err" >&2; exit 1; fi
echo "tree: $tree, medium: $media, buffer drained at $rate kB/s${LOAD:+, $LOAD busy loops beside it}${AS:+, burnt as $AS}"
awk -v s="$start" -v e="$end" 'BEGIN {printf "burn took %.1f s\n", e - s}'
grep '^# buffer' "$work/log" | sed 's/^# //'
echo "load before: $load, after: $(cut -d' ' -f1 /proc/loadavg), cores: $(nproc)"
