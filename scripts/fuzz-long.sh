#!/usr/bin/env bash
# Runs every fuzzer for RUNS executions (default 10 million), one after
# another at the lowest priority, each bounded by SECONDS (default 4 hours).
# Not part of the test command: an afternoon's run on a quiet machine.
#
#   scripts/fuzz-long.sh [RUNS] [SECONDS]
#
# Prints, per target, the executions done and the corpus size; a crash
# leaves its input in build/fuzz/crash-* and the run fails. The corpora are
# the ones scripts/fuzz.sh grows, so a long run deepens the short ones.
set -euo pipefail
runs=${1:-10000000}
seconds=${2:-14400}
cd "$(dirname "$0")/.."
FUZZ_TARGETS=${FUZZ_TARGETS:-checksum sector_map task ini mmc pe_icon import} FUZZ_RUNS=$runs exec nice -n 19 scripts/fuzz.sh "$seconds"
