#!/bin/bash
# e2e: idle (waits out the updater's 30 s time-out)
# A printer-class printer stalls, the transfer fails after the time-out, the
# printer comes back on the same link (its engine restarted, as after a power
# cycle) and Retry sends the whole image. First through the test driver, where
# the blocked write is cancelled; then through the pseudo-terminal alone, where
# nothing can cancel it and the worker has to be terminated: the retry in the
# same process must still complete, which shows the termination left the
# process healthy. Between the two, quiet runs through the driver: the
# printer's IEEE 1284 id in the log, and a printer that never answers that
# request, given up on at the time-out like a stalled write, still updated.
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

id1284='MFG:TORVAEL;MDL:prismatone 3350N;CMD:PJL;'

# quiet_run NAME: FirmwareUpdater.exe /quiet /accept-licence against printer p1
# behind the driver; its exit code in $status, its log in $log, and each line
# as it came, with the time since the start, in $E2E_LOGS/$scenario-NAME.log.
quiet_run() {
  local start
  printer_start p1 --driver || return 1
  start=$(now)
  timeout 120 wine "$E2E_UPDATER" /quiet /accept-licence 2>>"$E2E_LOGS/$scenario-updater.log" |
    while IFS= read -r line; do printf '%s %s\n' "$(seconds_since "$start")" "${line%$'\r'}"; done \
      >"$E2E_LOGS/$scenario-$1.log"
  status=${PIPESTATUS[0]}
  log=$(cut -d' ' -f2- "$E2E_LOGS/$scenario-$1.log")
  echo "  quiet run $1 -> exit $status"
  sed 's/^/    | /' "$E2E_LOGS/$scenario-$1.log"
  printer_stop p1
  check "quiet run $1: exit 0, the whole image sent" '. == 0' "$status"
  check_image_received
}

# The second at which the line starting with TEXT came.
line_time() { awk -v t="$1" 'index(substr($0, index($0, " ") + 1), t) == 1 { print $1; exit }' \
  "$E2E_LOGS/$scenario-$2.log"; }

quiet_runs() {
  echo "-- quiet runs: what the printer says about itself"
  quiet_run says || return 1
  if grep -qxF "Printer says: $id1284" <<<"$log"; then pass "the log has the printer's IEEE 1284 id"
  else fail "the log has no \"Printer says: $id1284\""; fi

  echo "-- the same printer, never answering the request for its id"
  e2e_driver_forget
  driver_our_printer p1 print-class "$1" --id-1284-never-answers || return 1
  driver_start || return 1
  quiet_run silent || return 1
  if grep -qxF "Printer says: nothing (no answer within 30 s)" <<<"$log"; then
    pass "the log says the printer gave no answer"
  else fail "the log does not say the printer gave no answer"; fi
  local waited
  waited=$(awk -v a="$(line_time "Printer found" silent)" -v b="$(line_time "Printer says" silent)" \
    'BEGIN { printf "%.3f", b - a }')
  echo "  waited for the id: $waited s"
  check "the request was given up on at the 30 s time-out, within its 3 s of stopping" \
    '. >= 29.5 and . < 33.5' "$waited"
  driver_record p1
  check "driver: the request came once and was cancelled" \
    '.idRequests == 1 and .cancelledIdRequests == 1' "$driver_record"
}

steps() {
  scenario_begin stall-retry || return 1
  echo "-- through the test driver"
  printer_register p1 || return 1
  local link
  link=$(basename "$(wine_device_link p1 "$E2E_HARDWARE_ID")")
  driver_our_printer p1 print-class "$link" --id-1284 "$id1284" || return 1
  driver_start || return 1
  stall_then_retry --driver || return 1
  ui_stop
  quiet_runs "$link" || return 1

  scenario_pty_route || return 1
  printer_register p1 || return 1
  stall_then_retry
}

steps
scenario_end
