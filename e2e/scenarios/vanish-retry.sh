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
  # 2.7 s to the vanish: the progress page lives long enough to be read, however
  # busy the machine.
  printer_start p1 --disconnect-after 400000 --bytes-per-second 150000 || return 1
  updater_start
  accept_licence || return 1

  transfer_fails_at_once || return 1
  check "main: button 1 enabled" '.controls[] | select(.id == 1) | .visible and .enabled' "$reply"
  shot main-failed

  printer_cut_short disconnect 400000

  echo "-- the printer is back"
  printer_start p1 || return 1
  transfer_completes
}

steps
scenario_end
