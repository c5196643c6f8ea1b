#!/bin/bash
# The updater with one byte of its image flipped after the build: the transfer
# fails at once, a debugger is told why, and the printer receives nothing. Run
# unattended (/quiet), the same copy ends with 7, the code that says no retry
# can succeed, and the printer again receives nothing.
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
  quiet_damaged
}

quiet_damaged() {
  local out=$E2E_LOGS/$scenario-quiet.log status=0 last
  printer_start p1 || return 1
  timeout 120 wine "$E2E_UPDATER" /quiet /accept-licence >"$out" 2>"$E2E_LOGS/$scenario-quiet.err" ||
    status=$?
  echo "  /quiet /accept-licence -> exit $status"
  tr -d '\r' <"$out" | sed 's/^/    | /'
  check "quiet: exit 7" '. == 7' "$status"
  last=$(tr -d '\r' <"$out" | tail -1)
  if [[ $last == "This copy of the updater is damaged: nothing was sent; replace the file. Exit code 7." ]]
  then pass "quiet: the log says the copy is damaged"; else fail "quiet: its last line"; fi
  printers_idle p1
}

steps
scenario_end
