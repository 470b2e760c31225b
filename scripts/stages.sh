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
#
# A stage that mostly waits, or one that may take what the others leave of
# the processor, runs beside them:
#
#   start_stage NAME NICENESS COMMAND [ARGS...]   (an executable, not a function)
#   ...
#   wait_stage NAME
#
# Its output is shown when it is waited for; its time counts from its start;
# from then on it runs at the caller's priority.
# Its processor time is counted in the stage that was running when it ended,
# so its own line shows none.

STAGE_LOGS=${STAGE_LOGS:-build/stages}
stage_summary=()
stage_failed=0
declare -A stage_pid stage_started

# Processor milliseconds (user and system) of the shell's finished children
# so far, into CHILDREN_CPU (milliseconds: whole seconds would round each
# stage's share by up to a second). `times` must run in this shell, not in a command
# substitution's subshell (which has no children), hence the file.
CHILDREN_CPU=0
children_cpu() {
  local self children
  mkdir -p "$STAGE_LOGS"
  times >"$STAGE_LOGS/.times"
  { read -r self; read -r children; } <"$STAGE_LOGS/.times"
  CHILDREN_CPU=$(awk -v t="$children" 'BEGIN {
    split(t, p, " "); s = 0
    for (i = 1; i <= 2; i++) { split(p[i], m, "m"); sub("s", "", m[2]); s += m[1] * 60 + m[2] }
    printf "%d", s * 1000 }')
}

run_stage() {
  local name=$1 log=$STAGE_LOGS/$1.log started=${STAGE_STARTED:-$SECONDS} rc=0 result cpu
  shift
  children_cpu
  cpu=$CHILDREN_CPU
  mkdir -p "$STAGE_LOGS"
  echo "==== stage $name"
  # The tee is opened here, not in the command's redirection: for a program
  # (not a function) bash opens that in the child, and $! would still name
  # whatever ran in the background last, a stage beside this one included.
  local out tee_pid
  exec {out}> >(tee "$log")
  tee_pid=$!
  "$@" >&"$out" 2>&1 || rc=$?
  exec {out}>&-
  wait "$tee_pid" 2>/dev/null || true  # tee has written everything
  case "$rc" in
    0) result=passed ;;
    77) result="skipped ($(grep -v '^[[:space:]]*$' "$log" | tail -n 1 || true))" ;;
    *)
      result="failed (exit $rc, output in $log)"
      stage_failed=1
      ;;
  esac
  # The processor time shows what a stage costs when stages share the cores.
  children_cpu
  cpu=$(((CHILDREN_CPU - cpu + 500) / 1000))
  [ -n "${STAGE_BESIDE:-}" ] && cpu=-
  stage_summary+=("$(printf '%-18s %5d s  %6s s cpu  %s' "$name" $((SECONDS - started)) "$cpu" "$result")")
}

start_stage() {
  local name=$1 niceness=$2
  shift 2
  mkdir -p "$STAGE_LOGS"
  echo "==== stage $name starts beside the others"
  stage_started[$name]=$SECONDS
  nice -n "$niceness" "$@" >"$STAGE_LOGS/$name.log.bg" 2>&1 &
  stage_pid[$name]=$!
  trap 'kill "${stage_pid[@]}" 2>/dev/null || true' EXIT
}

_stage_join() {
  local rc=0
  wait "${stage_pid[$1]}" || rc=$?
  cat "$STAGE_LOGS/$1.log.bg"
  return "$rc"
}

# A stage that is waited for is all that is left to do: it gets the shell's
# own priority back, for its running processes and what they start from now
# on. At the lowest priority, other load on the machine (a CI neighbour, busy
# loops) would starve it for hours. Lowering a niceness needs root; without
# it the stage keeps its own.
_stage_renice() {
  local pids=$1 all=""
  while [ -n "$pids" ]; do
    all+=" $pids"
    pids=$(for p in $pids; do ps -o pid= --ppid "$p" 2>/dev/null || true; done | tr -s ' \n' ' ')
    pids=${pids# }
    pids=${pids% }
  done
  # shellcheck disable=SC2086
  renice -n "$(nice)" -p $all >/dev/null 2>&1 || true
}

wait_stage() {
  _stage_renice "${stage_pid[$1]}"
  STAGE_STARTED=${stage_started[$1]} STAGE_BESIDE=1 run_stage "$1" _stage_join "$1"
  unset "stage_pid[$1]"
}

# Prints every stage's line; returns 1 when any failed.
stage_report() {
  children_cpu
  echo
  echo "==== stages ($SECONDS s in all, $(((CHILDREN_CPU + 500) / 1000)) s of processor time)"
  printf '%s\n' "${stage_summary[@]}"
  return "$stage_failed"
}
