#!/bin/bash
# Several printer-class devices listed, each served by a printer: one with no
# hardware id, one of another model, one whose id only begins like ours, and
# ours, listed last (setupapi lists them in the order of their interface keys:
# device id, then instance). The image goes to ours alone; the others receive
# nothing.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin right-device || return 1
  local other_model=${E2E_HARDWARE_ID%????}0000 longer_id=${E2E_HARDWARE_ID}0
  wine_register_printer a-no-id --device-id "$E2E_HARDWARE_ID" --port 1 ||
    fail "registering a device without ids"
  printer_register b-other-model "$other_model" || return 1
  wine_register_printer c-longer-id "$longer_id" --device-id "$E2E_HARDWARE_ID" --port 1 ||
    fail "registering a device with a longer id"
  printer_register d-ours || return 1
  printer_start a-no-id || return 1
  printer_start b-other-model --id "$other_model" || return 1
  printer_start c-longer-id || return 1
  printer_start d-ours || return 1

  ready_shown || return 1
  # Ours was started last.
  transfer_completes
  printers_idle a-no-id b-other-model c-longer-id
}

steps
scenario_end
