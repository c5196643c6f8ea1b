#!/bin/bash
# An executable whose image was damaged after the build (one byte flipped in
# the image, which both languages share): the transfer fails at once with
# "Firmware transfer failed" and the printer receives nothing.
# shellcheck disable=SC2016
set -uo pipefail
# The updater tells a debugger why the transfer failed; the log keeps it.
export WINEDEBUG=+debugstr
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

# damaged_copy OUT: the updater with the middle byte of its image flipped.
damaged_copy() {
  cp "$E2E_UPDATER" "$1" || return 1
  /usr/bin/python3 - "$1" <<'PY'
import sys, pefile
pe = pefile.PE(sys.argv[1])
kind = next(k for k in pe.DIRECTORY_ENTRY_RESOURCE.entries if str(k.name) == "FIRMWARE")
places = {pe.get_offset_from_rva(lang.data.struct.OffsetToData) + lang.data.struct.Size // 2
          for name in kind.directory.entries for lang in name.directory.entries}
assert len(places) == 1, "the image is not stored once: %s" % places
pe.close()
with open(sys.argv[1], "r+b") as f:
    f.seek(places.pop())
    byte = f.read(1)[0]
    f.seek(-1, 1)
    f.write(bytes([byte ^ 0x10]))
PY
}

steps() {
  scenario_begin damaged-image || return 1
  damaged_copy "$WINEPREFIX/damaged.exe" || { fail "no damaged copy of the updater"; return 1; }
  cmp -s "$E2E_UPDATER" "$WINEPREFIX/damaged.exe" && fail "the copy is not damaged"
  E2E_UPDATER=$WINEPREFIX/damaged.exe
  printer_register p1 || return 1
  printer_start p1 || return 1
  updater_start
  accept_licence || return 1
  # The progress page comes and goes too fast to be watched: the main page's
  # message is what changes.
  local pressed deadline
  ui press main 1 || fail "press Transfer: $reply"
  pressed=$(e2e_now)
  deadline=$((SECONDS + 20))
  until ui read main && jq -e '.visible and (.controls[] | select(.id == 110) | .text |
      startswith("Could not"))' >/dev/null <<<"$reply"; do
    ((SECONDS < deadline)) || break
    sleep 0.05
  done
  local took
  took=$(e2e_since "$pressed")
  echo "  Transfer to failure: $took s"
  check "the failure came at once" '. < 20' "$took"
  transfer_failed_shown || return 1
  shot main-failed
  updater_told
  if [[ $told == *"failed at firmware image damaged "* ]]; then
    pass "the updater told a debugger the image is damaged"
  else
    fail "the updater's own account of the failure: \"$told\""
  fi
  exit_pressed
  printer_stop
  check "printer: received nothing" '.bytesReceived == 0' "$record"
}

steps
scenario_end
