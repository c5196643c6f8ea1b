#!/bin/bash
# The Japanese pages under LANG=ja_JP.UTF-8: the agreement and every text in
# Japanese (Shift-JIS, read back through code page 932), from "not found" to
# "complete", with a screenshot of each page.
# shellcheck disable=SC2016
set -uo pipefail
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

ja() { rc_string ja "$1"; }

steps() {
  scenario_begin japanese || return 1
  japanese_fonts
  updater_start
  licence_shown || return 1
  check "the updater's code page is 932" '.acp == 932' "$reply"
  check_text "licence: the prompt" "$reply" IDC_LICENSE_PROMPT "$(ja IDS_LICENSE_PROMPT)"
  check_text "licence: refusal's label" "$reply" IDC_REFUSE "$(ja IDS_REFUSE)"
  check_text "licence: acceptance's label" "$reply" IDC_ACCEPT "$(ja IDS_ACCEPT)"
  check_control "licence: the Japanese agreement" "$reply" IDC_LICENSE_TEXT '.text | startswith($first)' \
    --arg first "$(iconv -f SHIFT_JIS -t UTF-8 "$E2E_SOURCE_DIR/res/license/eula-ja.txt" | head -n 1)"
  shot licence
  accept_licence_pressed || return 1

  read_page main
  check_text "main: not found" "$reply" IDC_MESSAGE "$(ja IDS_NOT_FOUND)"
  check_text "main: button 1" "$reply" 1 "$(ja IDS_RETRY)"
  check_text "main: button 2" "$reply" 2 "$(ja IDS_EXIT)"
  shot main-not-found

  printer_register p1 || return 1
  printer_start p1 --bytes-per-second 400000 || return 1
  shot_at_progress 40 progress
  ui press main 1 || fail "press Retry: $reply"
  watch_transfer 120
  check "progress: the Japanese heading throughout" '[.[].heading == $h] | all' \
    "$progress_samples" --arg h "$(ja IDS_TRANSFERRING)"
  check "progress: ends at 100 %" '.[-1].percent == "100 %"' "$progress_samples"
  shot_at_progress_done

  complete_and_exit "$(ja IDS_COMPLETE)" "$(ja IDS_EXIT)"
}

steps
scenario_end
