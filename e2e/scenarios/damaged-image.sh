#!/bin/bash
# The updater with one byte of its image flipped after the build: the transfer
# fails at once, a debugger is told why, and the printer receives nothing.
set -uo pipefail
export WINEDEBUG=+debugstr
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin damaged-image || return 1
  updater_damaged "$WINEPREFIX/damaged.exe" || { fail "no damaged copy"; return 1; }
  E2E_UPDATER=$WINEPREFIX/damaged.exe
  printer_register p1 && printer_start p1 || return 1
  updater_start
  accept_licence && transfer_fails_unwatched || return 1
  updater_told
  if [[ $told == *"at firmware image damaged "* ]]; then pass "told why"; else fail "told: $told"; fi
  exit_pressed
  printers_idle p1
}

steps
scenario_end
