#!/bin/bash
# The updater of a model reached through interface 1 of a composite device
# (hardware id USB\VID_7C5E&PID_4A83&MI_01) queries the printer first and, when
# the printer asks for it, requests the switch to update mode before the image.
# shellcheck disable=SC2016
set -uo pipefail
E2E_UPDATER=${E2E_MODE_SWITCH_UPDATER:-$(cd "$(dirname "$0")/../.." && pwd)/build/windows-mode-switch/FirmwareUpdater.exe}
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

# transfer_once: one updater run from the licence to "complete" and Exit.
transfer_once() {
  ready_shown || return 1
  transfer_completes
  ui_stop
}

steps() {
  scenario_begin mode-switch || return 1
  if [[ $E2E_HARDWARE_ID == 'USB\VID_7C5E&PID_4A83&MI_01' ]]; then
    pass "built for the composite device's interface 1"
  else
    fail "built for $E2E_HARDWARE_ID, not for the composite device's interface 1"
  fi
  printer_register p1 || return 1

  echo "-- a printer that asks for the switch"
  printer_start p1 --asks-for-switch || return 1
  transfer_once || return 1
  check "printer: one query, then the switch request" \
    '.queries == 1 and .switchRequests == 1' "$record"

  echo "-- a printer already in update mode"
  printer_start p1 || return 1
  transfer_once || return 1
  check "printer: one query and no switch request" '.queries == 1 and .switchRequests == 0' "$record"
}

steps
scenario_end
