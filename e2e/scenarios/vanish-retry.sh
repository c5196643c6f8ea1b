#!/bin/bash
# The printer vanishes part-way through the image: the transfer fails at once
# (no wait for the time-out) and the main page offers Retry. With the printer
# back, Retry sends the whole image again.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin vanish-retry || return 1
  printer_register p1 || return 1
  printer_start p1 --disconnect-after 400000 --bytes-per-second 1000000 || return 1
  updater_start
  accept_licence || return 1

  local pressed waited
  ui press main 1 || fail "press Transfer: $reply"
  pressed=$(e2e_now)
  watch_transfer 60
  waited=$(e2e_since "$pressed")
  check "the failure came without waiting for the time-out" '. < 20' "$waited"
  check "progress: stopped short of 100" '.[-1].pos < 100' "$progress_samples"
  wait_page main 30 || { fail "main page not shown again: $reply"; return 1; }
  read_page main
  check_text "main: the transfer failed" "$reply" 110 \
    $'Could not transfer the firmware.\nTo transfer the firmware again, click [Retry].'
  check_text "main: button 1 reads Retry" "$reply" 1 "Retry"
  check "main: button 1 enabled" '.controls[] | select(.id == 1) | .visible and .enabled' "$reply"
  shot main-failed

  printer_stop
  check "printer: it vanished where it was told to" \
    '.fault == "disconnect" and .faultOffset == 400000' "$record"
  check "printer: the image stayed incomplete" '.imageComplete == false' "$record"

  echo "-- the printer is back"
  printer_start p1 || return 1
  transfer_completes
}

steps
scenario_end
