# The test command's stages, sourced by scripts/setup.sh.
#
# Every stage runs whatever became of the ones before it, and the summary
# lists them all. A stage is a command: exit 0 passed, 77 skipped (its last
# line of output says why), anything else failed. Its output goes to the
# terminal and to $STAGE_LOGS/NAME.log. A new stage is one line:
#
#   run_stage NAME COMMAND [ARGS...]
#
# The command runs in the calling shell (so a stage may wait for a job the
# shell started); a function of several steps chains them with &&, since
# errexit does not reach into it. STAGE_STARTED=SECONDS before run_stage
# counts the stage's time from then (a job that ran in the background).

STAGE_LOGS=${STAGE_LOGS:-build/stages}
stage_summary=()
stage_failed=0

run_stage() {
  local name=$1 log=$STAGE_LOGS/$1.log started=${STAGE_STARTED:-$SECONDS} rc=0 result
  shift
  mkdir -p "$STAGE_LOGS"
  echo "==== stage $name"
  "$@" > >(tee "$log") 2>&1 || rc=$?
  wait $! 2>/dev/null || true  # tee has written everything
  case "$rc" in
    0) result=passed ;;
    77) result="skipped ($(grep -v '^[[:space:]]*$' "$log" | tail -n 1 || true))" ;;
    *)
      result="failed (exit $rc, output in $log)"
      stage_failed=1
      ;;
  esac
  stage_summary+=("$(printf '%-18s %5d s  %s' "$name" $((SECONDS - started)) "$result")")
}

# Prints every stage's line; returns 1 when any failed.
stage_report() {
  echo
  echo "==== stages ($SECONDS s in all)"
  printf '%s\n' "${stage_summary[@]}"
  return "$stage_failed"
}
