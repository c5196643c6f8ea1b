# shellcheck shell=bash
# Which processes a run started, told apart from every other program on the
# machine (another run's Wine, a user's Xvfb): a run starts its children with a
# mark of its own in their environment, which Wine's loader, wineserver and Xvfb
# all inherit, and later finds them by that mark alone. Nothing here looks at
# process names, so nothing of another run is ever judged or ended. A run's
# processes carry its mark (E2E_RUN_MARK); those of one scenario in it carry
# the scenario's as well (E2E_SCENARIO_MARK).
#
#   e2e_new_mark NAME [VAR]    prints a mark (VAR=value, E2E_RUN_MARK by default)
#                              unique to this run
#   e2e_marked_pids MARK       the live processes carrying MARK
#   e2e_describe_pids PID...   one line per process: pid and command line
#   e2e_end_marked MARK        ends them by pid: TERM, then KILL after 5 s

e2e_new_mark() { echo "${2:-E2E_RUN_MARK}=$1.$$.$(date +%s%N)"; }

# A zombie has no environment left to read, so it never matches; nor does the
# search itself, which runs without the marks a caller may have exported.
e2e_marked_pids() {
  local file pid
  for file in $(env -u E2E_RUN_MARK -u E2E_SCENARIO_MARK grep -lzxF -- "$1" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${file#/proc/}
    pid=${pid%/environ}
    [[ $pid == "$$" || $pid == "$BASHPID" ]] || echo "$pid"
  done
}

e2e_describe_pids() {
  local pid
  for pid in "$@"; do
    printf '%8s  %s\n' "$pid" "$(tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline")"
  done
}

e2e_end_marked() {
  local mark=$1 pids deadline
  mapfile -t pids < <(e2e_marked_pids "$mark")
  ((${#pids[@]})) || return 0
  kill -TERM "${pids[@]}" 2>/dev/null
  deadline=$((SECONDS + 5))
  while [[ -n $(e2e_marked_pids "$mark") ]] && ((SECONDS < deadline)); do sleep 0.1; done
  mapfile -t pids < <(e2e_marked_pids "$mark")
  ((${#pids[@]})) && kill -KILL "${pids[@]}" 2>/dev/null
  return 0
}
