#!/bin/bash
# e2e: idle (waits out the updater's 30 s time-out)
# A printer-class printer stalls, the transfer fails after the time-out, the
# printer comes back on the same link (its engine restarted, as after a power
# cycle) and Retry sends the whole image. First through the test driver, where
# the blocked write is cancelled; then through the pseudo-terminal alone, where
# nothing can cancel it and the worker has to be terminated: the retry in the
# same process must still complete, which shows the termination left the
# process healthy.
# shellcheck disable=SC2016
set -uo pipefail
# The updater tells a debugger how each failure ended; the log keeps it.
export WINEDEBUG=+debugstr
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

# stall_then_retry [--driver]: one updater run: stall, failure, the printer
# restarted, Retry, the whole image.
stall_then_retry() {
  printer_start p1 "$@" --stall-after 300000 || return 1
  updater_start
  accept_licence || return 1
  local pressed failed_at took
  ui press main 1 || fail "press Transfer: $reply"
  pressed=$(now)
  wait_page progress 30 || { fail "no progress page: $reply"; return 1; }
  ui watch-progress 120000 || fail "watch-progress: $reply"
  failed_at=$(now)
  took=$(seconds_since "$pressed")
  echo "  Transfer to failure: $took s"
  transfer_failed_shown || return 1
  if [[ ${1:-} == --driver ]]; then
    driver_record p1
    stall_report "$failed_at"
    check "driver: the blocked write was cancelled" '.cancelledWrites == 1' "$driver_record"
  else
    # Nothing cancels a write blocked on the pseudo-terminal: the worker is
    # terminated once the cancellation's 500 ms of grace have passed.
    check "the failure came after the time-out and the grace: TerminateThread ended the worker" \
      '. >= 30.5 and . < 60' "$took"
    updater_told
    if [[ $told == *"stopped by termination"* ]]; then
      pass "the updater told a debugger the worker was terminated"
    else
      fail "the updater's own account of the failure: \"$told\""
    fi
  fi
  printer_cut_short stall 300000 p1

  echo "-- the printer is back on the same link"
  printer_start p1 "$@" || return 1
  transfer_completes
}

steps() {
  scenario_begin stall-retry || return 1
  echo "-- through the test driver"
  printer_register p1 || return 1
  local link
  link=$(basename "$(wine_device_link p1 "$E2E_HARDWARE_ID")")
  driver_our_printer p1 print-class "$link" || return 1
  driver_start || return 1
  stall_then_retry --driver || return 1
  ui_stop

  scenario_pty_route || return 1
  printer_register p1 || return 1
  stall_then_retry
}

steps
scenario_end
