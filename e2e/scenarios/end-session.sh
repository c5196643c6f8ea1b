#!/bin/bash
# The session ends while the image goes out: `wineboot --end-session` asks every
# window whether the session may end. The progress page refuses, so the updater
# runs on and the printer gets the whole image; once the main page is back, the
# same request ends the updater.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin end-session || return 1
  transfer_under_way || return 1
  local status=0
  timeout 60 wineboot --end-session || status=$?
  timing "session's end asked for during the transfer: wineboot status $status"
  check "wineboot: the session's end was refused" '. == 1' "$status"
  if kill -0 "$updater_pid" 2>/dev/null; then pass "the updater runs on"; else fail "the updater was ended"; fi
  ui watch-progress 60000 || fail "watch-progress: $reply"
  check "progress: ends at 100 %" '.samples[-1].percent == "100 %"' "$reply"
  complete_shown || return 1

  status=0
  timeout 60 wineboot --end-session || status=$?
  timing "session's end asked for on the main page: wineboot status $status"
  check "wineboot: the session ended" '. == 0' "$status"
  updater_wait 15
  printer_stop
  check_image_received
}

steps
scenario_end
