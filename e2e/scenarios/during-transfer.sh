#!/bin/bash
# Half-way through the image: a second updater leaves within 6 s, having neither
# looked for nor opened the printer; `wineboot --end-session` is refused and the
# updater runs on. The printer receives one whole image and nothing more (its
# protocol errors); on the main page afterwards the same request ends the updater.
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin during-transfer || return 1
  transfer_under_way || return 1
  local log=$E2E_LOGS/$scenario-second.log started status took
  started=$(now)
  WINEDEBUG=+file,+setupapi timeout 30 wine "$E2E_UPDATER" >"$log" 2>&1
  status=$? took=$(seconds_since "$started")
  # A Wine process's own start and end take most of it: under qemu's emulation
  # on a loaded machine nearly 3 s.
  check "second copy: status 0 within 6 s (status $status, $took s)" '. < 6' \
    "$( ((status == 0)) && echo "$took" || echo 99)"
  check "second copy: traced, and no printer opened or looked for" '.[0] > 0 and .[1] == 0' \
    "[$(grep -c 'CreateFileW' "$log"), $(grep -ci -e 'usb#vid_' -e 'SetupDiGetClassDevs' "$log")]"
  timeout 60 wineboot --end-session
  check "wineboot during the transfer: the session's end refused (1)" '. == 1' "$?"
  ui watch-progress 60000 || fail "the updater did not run on: $reply"
  complete_shown || return 1
  timeout 60 wineboot --end-session
  check "wineboot on the main page: the session ended (0)" '. == 0' "$?"
  updater_wait 15
  printer_stop
  check_image_received
}

steps
scenario_end
