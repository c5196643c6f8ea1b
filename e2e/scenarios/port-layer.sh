#!/bin/bash
# The port layer's USB driver against the test driver, through port-tests.exe:
# the vendor request of the check, the still-image handles, pipes that failed
# to open, and a read blocked in the driver ended by cancellation at its
# time-out. The driver's records show what reached it.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin port-layer || return 1
  local vid pid=4A90 one_pipe_pid=4A91 link
  vid=$(vendor_of "$E2E_HARDWARE_ID")
  printer_register pc || return 1
  link=$(basename "$(wine_device_link pc "$E2E_HARDWARE_ID")")
  driver_printer pc print-class "$link" "$vid" "$(product_of "$E2E_HARDWARE_ID")" \
    --check-reply 5aa5 || return 1
  driver_printer four-pipes still-image "$(still_image_link 1)" "$vid" "$pid" --pipes "0 1 2 3" ||
    return 1
  driver_printer one-pipe still-image "$(still_image_link 4)" "$vid" "$one_pipe_pid" --pipes "0" ||
    return 1
  local name
  for name in pc four-pipes one-pipe; do printer_start "$name" --driver || return 1; done
  driver_start || return 1

  local status=0
  timeout 120 wine "$E2E_PORT_TESTS" "$E2E_HARDWARE_ID" "$vid" "$pid" "$one_pipe_pid" \
    >"$E2E_LOGS/port-layer-tests.log" 2>&1 || status=$?
  sed 's/\r$//' "$E2E_LOGS/port-layer-tests.log"
  failures=$((failures + $(grep -c 'FAIL:' "$E2E_LOGS/port-layer-tests.log")))
  passes=$((passes + $(grep -c ' ok:' "$E2E_LOGS/port-layer-tests.log")))
  ((status == 0)) || fail "port-tests.exe ended with status $status"
  timing "port tests run"

  driver_record pc
  check "driver: the check sent A4 01 02, twice" '.checks == 2 and .lastCheckValue == 258' \
    "$driver_record"
  check "driver: the blocked read was cancelled" '.cancelledReads == 1' "$driver_record"
  driver_record one-pipe
  check "driver: nothing reached the device without the pipes" '.bytesWritten == 0' \
    "$driver_record"
}

steps
scenario_end
