#!/bin/bash
# A still-image printer vanishes part-way through the image: the request in the
# driver fails at once, and so does the transfer, with no wait for the time-out.
# shellcheck disable=SC2016
set -uo pipefail
E2E_UPDATER=${E2E_STILL_IMAGE_UPDATER:-$(cd "$(dirname "$0")/../.." && pwd)/build/windows-still-image/FirmwareUpdater.exe}
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin vanish-still-image || return 1
  driver_our_printer ours still-image "$(still_image_link 2)" --pipes "0 1" || return 1
  # 2.7 s to the vanish: the progress page lives long enough to be read, however
  # busy the machine.
  printer_start ours --driver --disconnect-after 400000 --bytes-per-second 150000 || return 1
  driver_start || return 1
  updater_start
  accept_licence || return 1

  transfer_fails_at_once || return 1
  shot main-failed

  driver_record ours
  check "driver: the request failed, nothing was cancelled" \
    '.failedRequests >= 1 and .cancelledWrites == 0' "$driver_record"
  exit_pressed
  printer_cut_short disconnect 400000
}

steps
scenario_end
