#!/bin/bash
# The whole way through on a slow printer: licence, main page, the progress page
# stepping block by block, "complete", Exit; the printer checks every byte it got
# against the image inside the executable.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin transfer || return 1
  printer_register p1 || return 1
  # About 2.5 s for the image: the bar is seen at each block.
  printer_start p1 --bytes-per-second 400000 || return 1
  ready_shown || return 1
  check_text "main: button 1 reads Transfer" "$reply" 1 "Transfer"
  check_text "main: button 2 reads Exit" "$reply" 2 "Exit"
  shot main-ready

  shot_at_progress 40 progress
  ui press main 1 || fail "press Transfer: $reply"
  watch_transfer 120
  # Block k of the 16 leaves the bar at k * 65,472 * 100 / length, the last at 100.
  local steps_json
  steps_json=$(jq -nc --argjson n "$(stat -c %s "$E2E_IMAGE")" \
    '[range(1; ($n + 65471) / 65472 | floor) | . * 65472 * 100 / $n | floor] + [100]')
  echo "  progress expected: $steps_json"
  # The bar moves first, then the text: a sample may catch the text one step behind.
  check "progress: every position seen is a block's, its text the same or one behind" \
    '[.[] as $x | ([0] + $s | index($x.pos)) as $i | $i != null and
      ($x.percent == "\($x.pos) %" or $x.percent == "" or
       ($i > 0 and $x.percent == "\(([0] + $s)[$i - 1]) %"))] | all' \
    "$progress_samples" --argjson s "$steps_json"
  check "progress: most blocks seen on the slow printer" \
    '([.[].pos] | unique - [0] | length) >= ($s | length) - 4' "$progress_samples" \
    --argjson s "$steps_json"
  check "progress: the heading throughout" \
    '[.[].heading == "Transferring the firmware to printer..."] | all' "$progress_samples"
  check "progress: ends at 100 %" '.[-1].pos == 100 and .[-1].percent == "100 %"' "$progress_samples"
  shot_at_progress_done

  complete_shown || return 1
  check "main: button 1 hidden" '.controls[] | select(.id == 1) | .visible == false' "$reply"
  check_text "main: button 2 reads Exit" "$reply" 2 "Exit"
  shot main-complete
  exit_with_image
  check "printer: no mode-switch exchange for this model" '.queries == 0 and .switchRequests == 0' \
    "$record"
}

steps
scenario_end
