#!/bin/bash
# e2e: long (two driver starts)
# The updater of a still-image model scans \\.\Usbscan0, 1, ... for the device
# with its ids. First only other models' devices are there: "not found". Then
# several devices, ours not at the lowest number, another model's before it and
# after it, each served by a printer: the image goes to ours alone.
# shellcheck disable=SC2016
set -uo pipefail
E2E_UPDATER=${E2E_STILL_IMAGE_UPDATER:-$(cd "$(dirname "$0")/../.." && pwd)/build/windows-still-image/FirmwareUpdater.exe}
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin still-image || return 1
  local vid pid
  vid=$(vendor_of "$E2E_HARDWARE_ID")
  pid=$(product_of "$E2E_HARDWARE_ID")
  # Another model of the same maker, and one whose product id is ours under
  # another vendor.
  local other_pid=4A86 other_vid=7C5F

  echo "-- only other models' devices"
  driver_printer other0 still-image "$(still_image_link 0)" "$vid" "$other_pid" --pipes "0 1" || return 1
  driver_printer other2 still-image "$(still_image_link 2)" "$other_vid" "$pid" --pipes "0 1" ||
    return 1
  printer_start other0 --driver || return 1
  printer_start other2 --driver || return 1
  driver_start || return 1
  updater_start
  accept_licence || return 1
  not_found_shown
  exit_pressed
  ui_stop

  echo "-- ours at Usbscan3 among them"
  e2e_driver_forget
  driver_printer other0 still-image "$(still_image_link 0)" "$vid" "$other_pid" --pipes "0 1" || return 1
  driver_printer other2 still-image "$(still_image_link 2)" "$other_vid" "$pid" --pipes "0 1" ||
    return 1
  driver_printer ours still-image "$(still_image_link 3)" "$vid" "$pid" --pipes "0 1" || return 1
  driver_printer other5 still-image "$(still_image_link 5)" "$vid" "$other_pid" --pipes "0 1" || return 1
  printer_start other5 --driver || return 1
  printer_start ours --driver || return 1
  driver_start || return 1
  ready_shown || return 1
  # Ours was started last.
  transfer_completes
  printers_idle other0 other2 other5
  driver_record ours
  check "driver: nothing was cancelled" '.cancelledReads + .cancelledWrites == 0' "$driver_record"
  check "driver: the whole image went through it" '.bytesWritten >= $n' "$driver_record" \
    --argjson n "$(stat -c %s "$E2E_IMAGE")"
}

steps
scenario_end
