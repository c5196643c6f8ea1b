#!/bin/bash
# A second updater started while the first sends the image: it neither probes
# nor opens the printer, and leaves within 2 s with status 0; the first goes on,
# and the printer receives exactly one image.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin second-copy || return 1
  transfer_under_way || return 1

  # Wine's file and setupapi channels name every file the second copy opens
  # and every device search it makes.
  local log=$E2E_LOGS/$scenario-second-copy.log started status=0 took
  started=$(e2e_now)
  WINEDEBUG=+file,+setupapi timeout 30 wine "$E2E_UPDATER" >"$log" 2>&1 || status=$?
  took=$(e2e_since "$started")
  timing "second copy ended after $took s with status $status"
  check "second copy: exit status 0" '. == 0' "$status"
  check "second copy: ended within 2 s" '. < 2' "$took"
  check "second copy: Wine traced its file opens" '. > 0' "$(grep -c 'CreateFileW' "$log")"
  check "second copy: never opened the printer" '. == 0' "$(grep -ci 'usb#vid_' "$log")"
  check "second copy: never looked for it" '. == 0' "$(grep -c 'SetupDiGetClassDevs' "$log")"

  ui watch-progress 60000 || fail "watch-progress: $reply"
  check "progress: ends at 100 %" '.samples[-1].percent == "100 %"' "$reply"
  complete_shown || return 1
  exit_with_image
  check "printer: exactly one image" '.bytesReceived == 64 + .announcedLength' "$record"
}

steps
scenario_end
