#!/bin/bash
# Every page at 100, 150 and 200 % (96, 144 and 192 DPI, the prefix's
# LogPixels), in English and in Japanese: the licence, the main page (its texts
# of every state measured too), the progress page and the main page after the
# transfer. Each is the size its template gives at that scale and lies on the
# screen, every control inside it and every text within its control; a
# screenshot of each (build/e2e/shots/), the measures in
# build/e2e/logs/display-scale-fit.jsonl. One prefix per scale, both languages in it.
# e2e: long
# shellcheck disable=SC2016
set -uo pipefail
export E2E_UI_WIDE=1
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

# The main page's texts of all its states: message, button 1, button 2.
main_texts=("$(res_id IDC_MESSAGE):$(res_id IDS_READY),$(res_id IDS_NOT_FOUND),$(res_id IDS_FAILED),$(res_id IDS_COMPLETE)"
  "1:$(res_id IDS_TRANSFER),$(res_id IDS_RETRY)" "2:$(res_id IDS_EXIT)")

# Programs of the prefix started after this draw at DPI: this Wine takes the
# user's LogPixels (the machine's Software\Fonts one only when the user has none).
set_dpi() {
  timeout 120 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
    >/dev/null || fail "LogPixels $1 not set"
}

# fit_page NAME PAGE [ID:STRINGS...]: the page measured, and a picture of it.
fit_page() {
  local name="$dpi dpi $1" picture="$dpi-${1// /-}"
  shift
  ui fit "$@" || { fail "$name: $reply"; return; }
  echo "$reply" >>"$E2E_LOGS/$scenario-fit.jsonl"
  echo "  $name: $(jq -r '"\(.client.w) x \(.client.h) pixels, \(.font.face) \(.font.height) px"' <<<"$reply")"
  check "$name: sized by its template, on the screen, every control inside and every text fits" \
    '.fits' "$reply"
  jq -r 'if .units_right then empty else "    page \(.client), its template gives \(.from_template)" end,
    (.controls[], .strings[] | select(.inside == false or .fits == false) |
     "    \(.id) \(.text[:48] | @json): needs \(.need), has \(.room)\(if .rect then ", at \(.rect)" else "" end)")' \
    <<<"$reply"
  shot "$picture"
}

# run_language en|ja LOCALE: the updater from licence to exit, every page measured.
run_language() {
  local lang=$1
  export LANG=$2 LC_ALL=$2
  updater_start
  wait_page licence 120 || { fail "no licence page: $reply"; return 1; }
  fit_page "$lang licence" licence
  accept_licence_pressed || return 1
  fit_page "$lang main" main "${main_texts[@]}"
  check "$dpi dpi $lang main: its texts measured in the page's language" \
    '(.controls[] | select(.id == $id) | .text) as $t | [.strings[] | select(.id == $id) | .text] |
     index($t) != null' "$reply" --argjson id "$(res_id IDC_MESSAGE)"
  printer_start p1 --bytes-per-second 200000 || return 1
  ui press main 1 || fail "press Retry: $reply"
  wait_page progress 30 || { fail "no progress page: $reply"; return 1; }
  fit_page "$lang progress" progress
  ui gone progress 60000 || fail "progress page still shown: $reply"
  complete_shown "$(rc_string "$lang" IDS_COMPLETE)" || return 1
  fit_page "$lang complete" main
  ui press main 2 || fail "press Exit: $reply"
  updater_wait 15
  ui_stop
  printer_stop
  check "printer: the whole image arrived" '.imageComplete and .imageMatches' "$record"
}

steps() {
  scenario_begin display-scale || return 1
  printer_register p1 || return 1
  for dpi in 96 144 192; do
    if ((dpi != 96)); then
      ((failures == 0)) && e2e_discard_prefix
      e2e_prefix "$scenario.$dpi" || return 1
      e2e_extract_image || return 1
      printer_register p1 || return 1
    fi
    set_dpi "$dpi"
    timing "prefix at $dpi DPI"
    run_language en en_US.UTF-8 || return 1
    japanese_fonts
    run_language ja ja_JP.UTF-8 || return 1
    timing "$dpi DPI done"
  done
}

steps
scenario_end
