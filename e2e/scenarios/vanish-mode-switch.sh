#!/bin/bash
# e2e: idle (waits out the updater's 30 s time-out)
# The printer vanishes while the mode-switch reply is awaited: the updater fails
# the transfer at its 30-second time-out, tells a debugger why, and still exits
# cleanly. Twice:
# - through the test driver, whose reads of a vanished printer succeed with
#   nothing, as a printer-class handle may answer: the updater must not spin on
#   them (it backs off, and its worker ends by itself at the time-out), so it
#   uses little CPU and asks the driver a few thousand times at most;
# - through the pseudo-terminal alone. Measured under this Wine: a read of the
#   hung-up pty never returns to the program (Wine's NtReadFile itself loops on
#   read() = 0 and poll() = POLLHUP, using about 70 % of a core), so the thread
#   is ended by TerminateThread at the time-out; the CPU time is printed, not
#   judged, because that spin is Wine's.
# shellcheck disable=SC2016
set -uo pipefail
E2E_UPDATER=${E2E_MODE_SWITCH_UPDATER:-$(cd "$(dirname "$0")/../.." && pwd)/build/windows-mode-switch/FirmwareUpdater.exe}
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"
# The updater's OutputDebugStringA lines go to its log.
export WINEDEBUG=+debugstr

# The process that runs the executable: a descendant of the updater's launcher,
# found through this run's own pids, never by name machine-wide.
updater_process() {
  local pid=$1 child
  if tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q 'FirmwareUpdater\.exe'; then
    [[ $(ps -o comm= -p "$pid") != timeout ]] && { echo "$pid"; return 0; }
  fi
  for child in $(ps -o pid= --ppid "$pid"); do
    updater_process "$child" && return 0
  done
  return 1
}

# CPU seconds (user and system) the process has used so far.
cpu_seconds() {
  local stat
  stat=$(cat "/proc/$1/stat") || return 1
  # Fields 14 and 15, counted after the command name, which may hold spaces.
  awk -v ticks="$(getconf CLK_TCK)" '{ print ($12 + $13) / ticks }' <<<"${stat##*) }"
}

# vanish_during_reply [--driver]: one updater run; the printer vanishes after
# the query; the failure, its time, the CPU used meanwhile in $used.
vanish_during_reply() {
  # The query goes out as 8 + 8 bytes; then the printer is gone.
  printer_start p1 "$@" --asks-for-switch --disconnect-after 16 || return 1
  updater_start
  accept_licence || return 1
  local process
  process=$(updater_process "$updater_pid") || { fail "no process runs the updater"; return 1; }

  local pressed cpu_before cpu_after waited
  ui press main 1 || fail "press Transfer: $reply"
  pressed=$(now)
  cpu_before=$(cpu_seconds "$process")
  wait_page progress 30 || { fail "no progress page: $reply"; return 1; }
  ui watch-progress 120000 || fail "watch-progress: $reply"
  waited=$(seconds_since "$pressed")
  cpu_after=$(cpu_seconds "$process")
  used=$(awk -v a="$cpu_before" -v b="$cpu_after" 'BEGIN { printf "%.2f", b - a }')
  timing "progress page gone, $waited s after Transfer, $used s of the updater's CPU meanwhile"
  check "the updater waited out its 30 s time-out" '. >= 29.5' "$waited"
  check "and gave up within 3 s of it" '. < 33' "$waited"
  updater_told
  if [[ $told == *"mode-switch reply: time-out"* ]]; then pass "a debugger was told the reply timed out"
  else fail "no debugger line about the reply's time-out"; fi

  transfer_failed_shown || return 1
  exit_pressed

  printer_stop
  check "printer: the query arrived, then it vanished" \
    '.queries == 1 and .fault == "disconnect" and .faultOffset == 16' "$record"
  check "printer: no image header" '.announcedLength == null' "$record"
}

steps() {
  scenario_begin vanish-mode-switch || return 1
  echo "-- through the test driver: reads of the vanished printer deliver nothing"
  printer_register p1 || return 1
  local link
  link=$(basename "$(wine_device_link p1 "$E2E_HARDWARE_ID")")
  driver_our_printer p1 print-class "$link" --empty-reads-when-gone || return 1
  driver_start || return 1
  vanish_during_reply --driver || return 1
  ui_stop
  driver_record p1
  check "driver: the updater read again after empty reads, but did not spin" \
    '.emptyReads >= 10 and .emptyReads < 3000' "$driver_record"
  check "the updater used little CPU while it waited (not a busy core)" '. < 5' "$used"
  if [[ $told == *"termination"* ]]; then fail "the reading worker had to be terminated: \"$told\""
  else pass "the reading worker ended by itself, without termination"; fi

  scenario_pty_route || return 1
  printer_register p1 || return 1
  vanish_during_reply
}

steps
scenario_end
