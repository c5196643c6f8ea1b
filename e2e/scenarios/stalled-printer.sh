#!/bin/bash
# e2e: idle (waits out the updater's 30 s time-out)
# A printer that stops taking data part-way: the updater, blocked in WriteFile,
# gives up after its 30-second time-out, says the transfer failed, and still
# ends cleanly when the user exits.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin stalled-printer || return 1
  printer_register p1 || return 1
  printer_start p1 --stall-after 300000 || return 1
  ready_shown || return 1

  local pressed
  ui press main 1 || fail "press Transfer: $reply"
  pressed=$(now)
  wait_page progress 30 || { fail "no progress page: $reply"; return 1; }
  ui watch-progress 120000 || fail "watch-progress: $reply"
  echo "  progress seen: $(jq -c '[.samples[].pos]' <<<"$reply")"
  local waited
  waited=$(seconds_since "$pressed")
  timing "progress page gone, $waited s after Transfer"
  check "the updater waited out its 30 s time-out" '. >= 29.5' "$waited"
  check "and gave up within 3 s of it" '. < 33' "$waited"

  transfer_failed_shown || return 1
  shot main-failed
  exit_pressed
  printer_cut_short stall 300000
}

steps
scenario_end
