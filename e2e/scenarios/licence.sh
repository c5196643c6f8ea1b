#!/bin/bash
# The licence page and its three ways out: refused (OK with refusal chosen),
# cancelled (Esc, and the close box) end the program without a main page;
# accepted leads to the main page.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

# The licence went away and the program ended by itself: no main page came.
ends_without_main() {
  ui gone licence 10000 || fail "licence page still shown: $reply"
  updater_wait 20
  ui_stop
}

steps() {
  scenario_begin licence || return 1

  echo "-- refused"
  updater_start
  licence_shown || return 1
  check_text "licence: the prompt" "$reply" IDC_LICENSE_PROMPT \
    "Please read the following license agreement. Press the PAGE DOWN key to see the rest of the agreement."
  check_text "licence: refusal's label" "$reply" IDC_REFUSE "I do not accept the terms of the license agreement."
  check_text "licence: acceptance's label" "$reply" IDC_ACCEPT "I accept the terms of the license agreement."
  check_control "licence: the agreement's first line" "$reply" IDC_LICENSE_TEXT \
    '.text | startswith("TORVAEL prismatone 3350N Firmware Update Software\r\nEND-USER LICENSE AGREEMENT")'
  shot licence
  ui press licence 1 || fail "press OK: $reply"
  ends_without_main
  timing "refused: the program ended"

  echo "-- cancelled with Esc"
  updater_start
  licence_shown || return 1
  # Acceptance chosen, then Esc: cancelling still refuses.
  ui press licence "$(res_id IDC_ACCEPT)" || fail "press IDC_ACCEPT: $reply"
  ui escape licence || fail "escape: $reply"
  ends_without_main
  timing "Esc: the program ended"

  echo "-- cancelled with the close box"
  updater_start
  licence_shown || return 1
  ui close licence || fail "close: $reply"
  ends_without_main
  timing "close box: the program ended"

  echo "-- accepted"
  updater_start
  accept_licence || return 1
  read_page main
  check "main: caption" '.caption == $c' "$reply" --arg c "$E2E_CAPTION"
  ui press main 2 || fail "press Exit: $reply"
  ui gone main 10000 || fail "main page still shown: $reply"
  updater_wait 20
  timing "accepted, then Exit: the program ended"
}

steps
scenario_end
