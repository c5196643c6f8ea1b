#!/usr/bin/env bash
# The demo run (scripts/demo): one virtual printer, the real updater under Wine,
# and what the printer received.
#   e2e/demo.sh --on-display | --walk-through  [--bytes-per-second N] [--japanese]
# shellcheck disable=SC2016
set -uo pipefail
mode=$1
shift
speed=150000
japanese=""
while (($#)); do
  case $1 in
    --bytes-per-second) speed=$2; shift 2 ;;
    --japanese) export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8; japanese=1; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/lib.sh"

# The printer's record as a person reads it.
report() {
  [[ -n $record ]] || return 0
  local size=65472
  jq -r --argjson size "$size" '
    def blocks(n): if n == 0 then "none"
      else ((n - 1) / $size | floor) as $full
      | "\($full + 1): \($full) of \($size) bytes and one of \(n - $full * $size)" end;
    "What the printer received:",
    "  bytes in all:      \(.bytesReceived)",
    "  header announced:  \(.announcedLength // "no header") bytes of image",
    "  image bytes:       \(.imageBytes)",
    "  blocks:            \(blocks(.imageBytes))",
    "  mode switch:       \(.queries) queries, \(.switchRequests) switch requests",
    "  image complete:    \(if .imageComplete then "yes" else "no" end)",
    "  image matched the executable'"'"'s own: \(if .imageMatches then "yes" else "no" end)",
    "  protocol errors:   \(.errors | length)"' <<<"$record"
}

on_display() {
  # On a desktop the window manager may manage the pages as usual.
  timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d Y /f >/dev/null
  echo
  echo "The updater opens on your display: accept the licence, click Transfer,"
  echo "watch the progress, then Exit."
  timeout 3600 wine "$E2E_UPDATER" >>"$E2E_LOGS/$scenario-updater.log" 2>&1
}

walk_through() {
  updater_start
  licence_shown || return 1
  shot 1-licence
  accept_licence_pressed || return 1
  read_page main
  shot 2-main
  shot_at_progress 50 3-progress
  ui press main 1 || fail "press Transfer: $reply"
  watch_transfer 600
  shot_at_progress_done
  wait_page main 30 || { fail "main page not shown again: $reply"; return 1; }
  shot 4-main-complete
  ui press main 2 || fail "press Exit: $reply"
  updater_wait 15
}

steps() {
  scenario_begin demo || return 1
  [[ -n $japanese ]] && japanese_fonts
  printer_register p1 || return 1
  printer_start p1 --bytes-per-second "$speed" || return 1
  case $mode in
    --on-display) on_display ;;
    --walk-through) walk_through ;;
  esac
  printer_stop
  echo
  report
  [[ $mode == --walk-through ]] && echo "Screenshots: $E2E_SHOTS/"
  return 0
}

steps
scenario_end >/dev/null
