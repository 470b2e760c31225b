#!/usr/bin/env bash
# The test command's stage runner: every stage runs after a failure, the
# summary has one line per stage with its result, and the exit status says
# whether any failed.
set -uo pipefail
runner=$(realpath "$(dirname "$0")/../../scripts/stages.sh")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
problems=0
fail() { echo "FAIL: $*"; problems=1; }

out=$(bash -c '
  set -euo pipefail
  source "$1"
  two_steps() { false && touch second-step; }
  skipped() { echo "no 32-bit wine here"; echo; return 77; }
  sleep 1 & job=$!; since=$SECONDS
  start_stage beside 5 sh -c "sleep 4; echo out beside; exit 4"
  # A program, not a function: it must not wait for the stage beside it.
  run_stage program sh -c "echo program"
  run_stage broken two_steps
  run_stage after-it touch ran-after-failure
  run_stage skip skipped
  run_stage crash sh -c "echo dying; exit 3"
  run_stage busy python3 -c "import time; t = time.process_time()
while time.process_time() - t < 1.2: pass"
  STAGE_STARTED=$since run_stage bg wait "$job"
  wait_stage beside
  stage_report
' runner "$runner" 2>&1)
rc=$?
[ "$rc" -eq 1 ] || fail "exit $rc with failed stages, expected 1"
[ -e ran-after-failure ] || fail "the stage after a failed one did not run"
[ ! -e second-step ] || fail "a stage went on after its failed step"
grep -qx dying build/stages/crash.log || fail "the stage's output is not in its log"
grep -qx "out beside" build/stages/beside.log || fail "the output of a stage run beside is not in its log"
summary=$(sed -n '/^==== stages/,$p' <<<"$out")
t='+[0-9]+ s +[0-9]+ s cpu'
for line in "broken $t  failed \\(exit 1, output in build/stages/broken.log\\)" "after-it $t  passed" \
  "skip $t  skipped \\(no 32-bit wine here\\)" "crash $t  failed \\(exit 3, .*" "bg $t  passed" \
  "beside +[0-9]+ s +- s cpu  failed \\(exit 4, output in build/stages/beside.log\\)"; do
  grep -qxE "$line" <<<"$summary" || fail "no line '$line' in: $summary"
done
[ "$(grep -c ' s cpu  ' <<<"$summary")" -eq 8 ] || fail "not one line per stage: $summary"
# A stage's processor time is its own: the busy one's 1.2 s (and python's
# start, more on a loaded machine), none of it in the stages around it.
grep -qxE "program +[0-2] s +[0-9]+ s cpu  passed" <<<"$summary" || fail "a program's stage waited for the one beside it: $summary"
grep -qxE "busy +[0-9]+ s +[123] s cpu  passed" <<<"$summary" || fail "the busy stage's processor time is not 1-3 s: $summary"
grep -qxE "bg +[0-9]+ s +0 s cpu  passed" <<<"$summary" || fail "the stage after the busy one counts its time: $summary"

# A stage waited for runs at the caller's priority from then on: what it
# starts next, here `nice`, is no longer at the low one it began with.
if [ "$(id -u)" -eq 0 ]; then
  bash -c 'set -euo pipefail; source "$1"
    start_stage low 15 sh -c "sleep 2; nice >niceness"; wait_stage low' runner "$runner" >/dev/null 2>&1
  [ "$(cat niceness 2>/dev/null)" = "$(nice)" ] ||
    fail "a stage waited for kept its low priority: niceness $(cat niceness 2>/dev/null)"
fi

# Only passing and skipped stages: exit 0.
bash -c 'set -euo pipefail; source "$1"; run_stage a true; run_stage b sh -c "exit 77"; stage_report' \
  runner "$runner" >/dev/null 2>&1 || fail "passing and skipped stages end in failure"
[ "$problems" -eq 0 ] && echo "stage runner: all checks passed"
exit "$problems"
