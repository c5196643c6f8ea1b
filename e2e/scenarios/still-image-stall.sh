#!/bin/bash
# e2e: idle (waits out the updater's 30 s time-out)
# A still-image printer that stops taking data part-way: the updater's write
# blocks in the driver, and after the 30-second time-out the gentle step of the
# stopping policy ends it: the driver sees the blocked write cancelled (no
# thread had to be terminated). The failure shows, and Exit ends the updater
# cleanly.
# shellcheck disable=SC2016
set -uo pipefail
# The updater tells a debugger how each failure ended; the log keeps it.
export WINEDEBUG=+debugstr
E2E_UPDATER=${E2E_STILL_IMAGE_UPDATER:-$(cd "$(dirname "$0")/../.." && pwd)/build/windows-still-image/FirmwareUpdater.exe}
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin still-image-stall || return 1
  driver_our_printer ours still-image "$(still_image_link 1)" --pipes "0 1" || return 1
  printer_start ours --driver --stall-after 300000 || return 1
  driver_start || return 1
  updater_start
  accept_licence || return 1
  ui press main 1 || fail "press Transfer: $reply"
  wait_page progress 30 || { fail "no progress page: $reply"; return 1; }
  ui watch-progress 120000 || fail "watch-progress: $reply"
  local failed_at
  failed_at=$(now)
  timing "progress page gone"
  transfer_failed_shown
  shot main-failed

  driver_record ours
  stall_report "$failed_at"
  check "driver: the blocked write was cancelled" '.cancelledWrites == 1' "$driver_record"

  exit_pressed
  printer_cut_short stall 300000
}

steps
scenario_end
