#!/bin/bash
# Japanese pages on a system whose code page for non-Unicode programs is 1252
# (a Western Windows with a Japanese language pack): every text of every page,
# read back as UTF-16, is the Japanese string table's and the agreement is the
# Japanese licence, not question marks or mojibake. Ready, failed, not found and
# complete, with a screenshot of each page.
# shellcheck disable=SC2016
set -uo pipefail
unset LC_ALL
export LANG=en_US.UTF-8 LC_MESSAGES=ja_JP.UTF-8 E2E_UI_WIDE=1
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

ja() { rc_string ja "$1"; }

steps() {
  scenario_begin japanese-on-1252 || return 1
  japanese_fonts
  printer_register p1 || return 1
  # 2.7 s to the vanish: the progress page lives long enough to be read, however
  # busy the machine.
  printer_start p1 --disconnect-after 400000 --bytes-per-second 150000 || return 1
  updater_start
  licence_shown || return 1
  check "the updater's code page is 1252" '.acp == 1252' "$reply"
  check "the licence page is a Unicode window" '.unicode == true' "$reply"
  check_text "licence: the prompt" "$reply" IDC_LICENSE_PROMPT "$(ja IDS_LICENSE_PROMPT)"
  check_text "licence: refusal's label" "$reply" IDC_REFUSE "$(ja IDS_REFUSE)"
  check_text "licence: acceptance's label" "$reply" IDC_ACCEPT "$(ja IDS_ACCEPT)"
  check_control "licence: the whole Japanese agreement" "$reply" IDC_LICENSE_TEXT '.text == $agreement' \
    --rawfile agreement <(iconv -f CP932 -t UTF-8 "$E2E_SOURCE_DIR/res/license/eula-ja.txt")
  shot licence
  accept_licence_pressed || return 1

  read_page main
  check "main: caption" '.caption == $c' "$reply" --arg c "$E2E_CAPTION"
  check_text "main: ready" "$reply" IDC_MESSAGE "$(ja IDS_READY)"
  check_text "main: button 1" "$reply" 1 "$(ja IDS_TRANSFER)"
  check_text "main: button 2" "$reply" 2 "$(ja IDS_EXIT)"
  shot main-ready

  shot_at_progress 20 progress
  ui press main 1 || fail "press Transfer: $reply"
  watch_transfer 60
  check "progress: the Japanese heading throughout" '[.[].heading == $h] | all' \
    "$progress_samples" --arg h "$(ja IDS_TRANSFERRING)"
  shot_at_progress_done
  wait_page main 30 || { fail "main page not shown again: $reply"; return 1; }
  read_page main
  check_text "main: failed" "$reply" IDC_MESSAGE "$(ja IDS_FAILED)"
  check_text "main: button 1" "$reply" 1 "$(ja IDS_RETRY)"
  shot main-failed
  printer_stop

  ui press main 1 || fail "press Retry: $reply"
  ui wait main 10000 || fail "main page after Retry: $reply"
  read_page main
  check_text "main: not found" "$reply" IDC_MESSAGE "$(ja IDS_NOT_FOUND)"
  check_text "main: button 1" "$reply" 1 "$(ja IDS_RETRY)"
  check_text "main: button 2" "$reply" 2 "$(ja IDS_EXIT)"
  shot main-not-found

  printer_start p1 || return 1
  ui press main 1 || fail "press Retry: $reply"
  watch_transfer 60
  complete_and_exit "$(ja IDS_COMPLETE)" "$(ja IDS_EXIT)"
}

steps
scenario_end
