#!/usr/bin/env bash
# The test command's stage runner: every stage runs after a failure, the
# summary has one line per stage with its result, and the exit status says
# whether any failed.
set -euo pipefail
runner=$(realpath "$(dirname "$0")/../../scripts/stages.sh")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
problems=0
expect() {  # text, pattern
  if ! grep -qE -- "$2" <<<"$1"; then
    echo "FAIL: no line matching '$2' in:"
    echo "$1"
    problems=1
  fi
}

out=$(bash -c '
  set -euo pipefail
  source "$1"
  two_steps() { false && touch second-step; }
  skipped() { echo "no 32-bit wine here"; echo; return 77; }
  background() { wait "$job"; }
  sleep 1 & job=$!; since=$SECONDS
  run_stage first true
  run_stage broken two_steps
  run_stage after-it touch ran-after-failure
  run_stage skip skipped
  run_stage crash sh -c "echo dying; exit 3"
  STAGE_STARTED=$since run_stage bg background
  stage_report
' runner "$runner" 2>&1) && rc=0 || rc=$?

[ "$rc" -eq 1 ] || { echo "FAIL: exit $rc with failed stages, expected 1"; problems=1; }
[ -e ran-after-failure ] || { echo "FAIL: the stage after a failed one did not run"; problems=1; }
[ ! -e second-step ] || { echo "FAIL: a stage went on after its failed step"; problems=1; }
summary=$(sed -n '/^==== stages/,$p' <<<"$out")
expect "$summary" '^first +[0-9]+ s  passed$'
expect "$summary" '^broken +[0-9]+ s  failed \(exit 1, output in build/stages/broken.log\)$'
expect "$summary" '^after-it +[0-9]+ s  passed$'
expect "$summary" '^skip +[0-9]+ s  skipped \(no 32-bit wine here\)$'
expect "$summary" '^crash +[0-9]+ s  failed \(exit 3'
expect "$summary" '^bg +[0-9]+ s  passed$'
[ "$(grep -c ' s  ' <<<"$summary")" -eq 6 ] || { echo "FAIL: not one line per stage:"; echo "$summary"; problems=1; }
grep -qx dying build/stages/crash.log || { echo "FAIL: the stage's output is not in its log"; problems=1; }

# Only passing and skipped stages: exit 0.
bash -c 'set -euo pipefail; source "$1"; run_stage a true; run_stage b sh -c "exit 77"; stage_report' \
  runner "$runner" >/dev/null 2>&1 || { echo "FAIL: passing and skipped stages end in failure"; problems=1; }

[ "$problems" -eq 0 ] && echo "stage runner: all checks passed"
exit "$problems"
