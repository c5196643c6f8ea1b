#!/bin/bash
# The transfer benchmark under Wine: the real updater sends its image to
# vprinter-pty at full speed, timed by the printer from its first byte to its
# last (the pause after the last block is not in it); then raw-write.exe sends
# the same bytes to the same printer in one WriteFile, timed the same way.
# Prints both and their ratio, and keeps them in build/e2e/logs/bench-transfer.txt.
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

# The printer's span of one record, in microseconds.
span() { jq '.lastByteMicros - .firstByteMicros' <<<"$1"; }

steps() {
  scenario_begin transfer-timing || return 1
  printer_register p1 || return 1
  printer_start p1 || return 1
  updater_start
  accept_licence || return 1
  wait_page main 30 || { fail "no main page: $reply"; return 1; }
  ui press main 1 || fail "press Transfer: $reply"
  wait_page progress 30 || { fail "no progress page: $reply"; return 1; }
  complete_shown || return 1
  exit_with_image
  local updater_us
  updater_us=$(span "$record")

  # The same bytes: the 64-byte header (start 2, marker FF, version 4, the
  # length least significant byte first at byte 6), then the image.
  local bytes=$WINEPREFIX/transfer-bytes.bin length
  length=$(stat -c %s "$E2E_IMAGE")
  {
    printf '\x02\xff\x04\x00\x00\x00'
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((length & 255)) $((length >> 8 & 255)) \
      $((length >> 16 & 255)) $((length >> 24 & 255)))"
    head -c 54 /dev/zero
    cat "$E2E_IMAGE"
  } >"$bytes"
  printer_start p1 || return 1
  local link path
  link=$(wine_device_link p1 "$E2E_HARDWARE_ID")
  path="\\\\?\\$(basename "$link")"
  local raw
  raw=$(timeout 120 wine "$E2E_RAW_WRITE" "$path" "$(winepath -w "$bytes")" 2>/dev/null)
  check "raw write: every byte written" '.ok == true' "$raw"
  printer_stop
  check_image_received
  local raw_us
  raw_us=$(span "$record")

  local line
  line=$(awk -v u="$updater_us" -v r="$raw_us" -v n="$length" 'BEGIN {
    printf "%-44s %10.2f ms  against %-34s %10.2f ms  ratio %6.2f",
      "Wine: whole transfer, first to last byte", u / 1000,
      "one raw WriteFile of the same bytes", r / 1000, (r > 0 ? u / r : 0) }')
  echo "$line"
  echo "$line" >"$E2E_LOGS/bench-transfer.txt"
  ((updater_us > 0 && raw_us > 0)) || fail "the printer kept no times"
}

steps
scenario_end
