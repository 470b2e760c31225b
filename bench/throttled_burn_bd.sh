#!/usr/bin/env bash
# A burn to a virtual BD-R whose buffer drains at 6X BD (26,970 kB/s), the
# speed a person picks for a backup; reports, as throttled_burn.sh does, how
# often the drive buffer read empty once it was first full (0 is the goal).
#
#   bench/throttled_burn_bd.sh [TREE]     without TREE: 1 GiB of fresh files
#   The other settings (COLD, LOAD, CLI, AS) are throttled_burn.sh's.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tree=${1:-}
made=""
if [ -z "$tree" ]; then
  made=$(mktemp -d)
  trap 'rm -rf "$made"' EXIT
  tree=$made/tree
  mkdir -p "$tree"
  # Incompressible data, in files of the sizes a backup holds.
  for i in $(seq 1 16); do head -c $((64 << 20)) /dev/urandom >"$tree/part$i.bin"; done
fi
"$here/throttled_burn.sh" "$tree" 26970 bd-r
