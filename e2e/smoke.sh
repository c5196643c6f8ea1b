#!/bin/bash
# Smoke run of the real updater (build/windows/FirmwareUpdater.exe) under Wine,
# driven by uidriver.exe as a user would drive it:
#   1. no printer: licence accepted, the main page says the printer is not found,
#      Exit ends the program;
#   2. with the virtual printer (vprinter-pty) on a pty linked under dosdevices:
#      Transfer, the progress page watched to its end, "complete" on the main page,
#      and the printer's record says the image it received matched.
# A screenshot of each page goes to build/e2e/shots/. Timings are printed as it goes.
#
#   e2e/smoke.sh           (as root on a machine whose kernel refuses 32-bit code,
#                           e2e/setup-i386.sh runs first; see there)
# E2E_SKIP_BUILD=1 uses the executables as they are.
# jq filters are written in single quotes on purpose.
# shellcheck disable=SC2016
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# Our own display, whatever the caller has: a fresh Xvfb on a free number.
if [[ -z ${E2E_SMOKE_IN_XVFB:-} ]]; then
  export E2E_SMOKE_IN_XVFB=1
  exec timeout 900 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$here/$(basename "$0")" "$@"
fi

# shellcheck source=e2e/wine-env.sh
source "$here/wine-env.sh"
cd "$E2E_SOURCE_DIR"

updater=$E2E_SOURCE_DIR/build/windows/FirmwareUpdater.exe
printer_server=$E2E_SOURCE_DIR/build/native/vprinter/vprinter-pty
shots=$E2E_BUILD_DIR/shots
failures=0
passes=0

ui_pid=""
updater_pid=""
printer_pid=""
run_name=""

cleanup() {
  [[ -n $ui_pid ]] && kill "$ui_pid" 2>/dev/null
  [[ -n $printer_pid ]] && kill "$printer_pid" 2>/dev/null
  e2e_stop_wine
}
trap cleanup EXIT

# The end of a run, passed or not: the driver, the updater and the printer go,
# then the prefix's wineserver; a run that passed leaves no prefix behind.
finish_run() {
  local failures_before=$1
  [[ -n $ui_pid ]] && ui_stop
  if [[ -n $updater_pid ]]; then
    kill "$updater_pid" 2>/dev/null || true
    wait "$updater_pid" 2>/dev/null || true
    updater_pid=""
  fi
  if [[ -n $printer_pid ]]; then
    kill -TERM "$printer_pid" 2>/dev/null || true
    wait "$printer_pid" 2>/dev/null || true
    printer_pid=""
  fi
  if ((failures == failures_before)) && [[ -z ${E2E_KEEP_PREFIX:-} ]]; then
    e2e_discard_prefix
  else
    timeout 30 wineserver -k 2>/dev/null || true
    echo "  prefix kept: $WINEPREFIX"
  fi
}

step_start=$(e2e_now)
# "[  1.234 s] what": the time since the step before.
timing() {
  printf '[%7s s] %s\n' "$(e2e_since "$step_start")" "$*"
  step_start=$(e2e_now)
}

pass() {
  passes=$((passes + 1))
  echo "  ok: $*"
}
fail() {
  failures=$((failures + 1))
  echo "  FAIL: $*"
}
# check DESCRIPTION JQ_FILTER JSON [jq args...]
check() {
  local what=$1 filter=$2 json=$3
  shift 3
  if jq -e "$@" "$filter" >/dev/null 2>&1 <<<"$json"; then pass "$what"; else fail "$what"; fi
}

# ---- Tools ---------------------------------------------------------------------

if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "32-bit programs do not start on this machine: running e2e/setup-i386.sh"
  "$here/setup-i386.sh"
fi

if [[ -z ${E2E_SKIP_BUILD:-} ]]; then
  [[ -f build/windows/build.ninja ]] || cmake --preset windows >/dev/null
  cmake --build --preset windows >/dev/null
  timing "updater built"
fi
[[ -f $updater ]] || { echo "no $updater"; exit 1; }
e2e_build_uidriver
timing "uidriver built"

# What the program was built with: its caption, hardware id and image.
cache_value() { sed -n "s/^$1:[A-Z]*=//p" build/windows/CMakeCache.txt; }
E2E_CAPTION="$(cache_value UPDATER_MODEL_NAME) ($(cache_value UPDATER_VERSION_TEXT))"
hardware_id=$(cache_value UPDATER_HARDWARE_ID)
image=$(cache_value UPDATER_FIRMWARE_IMAGE)
[[ -n $image ]] || image=$E2E_SOURCE_DIR/build/windows/res/firmware.bin

e2e_make_template
timing "template prefix ready"

mkdir -p "$shots"

# ---- The page driver, one process per run, spoken to line by line -------------

ui_start() {
  coproc UI { exec timeout 600 wine "$E2E_UIDRIVER" --caption "$E2E_CAPTION" -; }
  # shellcheck disable=SC2153  # coproc names it
  ui_pid=$UI_PID
}
# ui COMMAND...: the reply line in $reply; its "ok" as status.
ui() {
  echo "$*" >&"${UI[1]}"
  reply=""
  if ! IFS= read -r -t 180 reply <&"${UI[0]}"; then
    reply='{"ok":false,"error":"uidriver did not answer"}'
  fi
  jq -e '.ok' >/dev/null 2>&1 <<<"$reply"
}
ui_stop() {
  { echo quit >&"${UI[1]}"; } 2>/dev/null || true
  local deadline=$((SECONDS + 10))
  while kill -0 "$ui_pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.02; done
  kill "$ui_pid" 2>/dev/null || true
  wait "$ui_pid" 2>/dev/null || true
  ui_pid=""
}
# A picture of the whole screen, named after the run and the moment.
shot() {
  import -window root "$shots/$run_name-$1.png"
  echo "  screenshot: $shots/$run_name-$1.png"
}
# The updater's exit, waited for with a deadline.
wait_updater() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$updater_pid" 2>/dev/null; do
    ((SECONDS < deadline)) || { fail "updater still runs after $1 s"; return 1; }
    sleep 0.05
  done
  local status=0
  wait "$updater_pid" || status=$?
  updater_pid=""
  if ((status == 0)); then pass "updater exited with status 0"; else fail "updater exit status $status"; fi
}
# ui wait, in short slices, so that an updater that ended early (no display: its
# dialog calls fail and it exits with status 0) is told at once.
wait_page() {
  local page=$1 deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    ui wait "$page" 1000 && return 0
    if [[ -n $updater_pid ]] && ! kill -0 "$updater_pid" 2>/dev/null; then
      reply="{\"ok\":false,\"error\":\"the updater ended before its $page page appeared\"}"
      return 1
    fi
  done
  return 1
}

# Licence page: its caption, "I do not accept" chosen; accepted with 148 and OK.
accept_licence() {
  wait_page licence 120 || { fail "no licence page: $reply"; return 1; }
  timing "licence page shown"
  ui read licence || fail "read licence: $reply"
  check "licence caption is \"$E2E_CAPTION\"" '.caption == $c' "$reply" --arg c "$E2E_CAPTION"
  check "licence: 147 checked at start" '.controls[] | select(.id == 147) | .check == 1' "$reply"
  check "licence: 148 not checked at start" '.controls[] | select(.id == 148) | .check == 0' "$reply"
  check "licence: text in 146" '.controls[] | select(.id == 146) | .text | length > 100' "$reply"
  shot 1-licence
  timing "licence page read"
  ui press licence 148 || fail "press 148: $reply"
  ui read licence || fail "read licence: $reply"
  check "licence: 148 checked after the click" '.controls[] | select(.id == 148) | .check == 1' "$reply"
  check "licence: 147 cleared after the click" '.controls[] | select(.id == 147) | .check == 0' "$reply"
  ui press licence 1 || fail "press OK: $reply"
  ui gone licence 10000 || fail "licence page still shown: $reply"
  wait_page main 30 || { fail "no main page: $reply"; return 1; }
  timing "licence accepted, main page shown"
}

# ---- Run 1: no printer -----------------------------------------------------------

run_absent() {
  echo "== run 1: no printer"
  local before=$failures status=0
  absent_steps || status=$?
  finish_run "$before"
  timing "run ended"
  return $status
}

absent_steps() {
  run_name=absent
  e2e_prefix smoke-absent
  timing "prefix copied"
  timeout 600 wine "$updater" & updater_pid=$!
  ui_start
  accept_licence || return 1
  ui read main || fail "read main: $reply"
  check "main caption" '.caption == $c' "$reply" --arg c "$E2E_CAPTION"
  check "main: message starts with \"Printer is not found.\"" \
    '.controls[] | select(.id == 110) | .text | startswith("Printer is not found.")' "$reply"
  check "main: button 1 reads Retry" '.controls[] | select(.id == 1) | .text == "Retry"' "$reply"
  check "main: button 2 reads Exit" '.controls[] | select(.id == 2) | .text == "Exit"' "$reply"
  shot 2-main
  timing "main page read"
  ui press main 2 || fail "press Exit: $reply"
  ui gone main 10000 || fail "main page still shown: $reply"
  wait_updater 30
  timing "Exit pressed, updater ended"
}

# ---- Run 2: the virtual printer ------------------------------------------------------

build_printer_server() {
  [[ -n ${E2E_SKIP_BUILD:-} ]] && return 0
  {
    [[ -f build/native/build.ninja ]] || cmake --preset native
    cmake --build --preset native --target vprinter-pty
  } >"$E2E_BUILD_DIR/vprinter-build.log" 2>&1 ||
    echo "  (building vprinter-pty failed: see $E2E_BUILD_DIR/vprinter-build.log)"
}

run_transfer() {
  echo "== run 2: transfer to the virtual printer"
  build_printer_server
  if [[ ! -x $printer_server ]] || ! "$printer_server" --help 2>&1 | grep -q -- '--ready-file'; then
    echo "  SKIPPED: no usable $printer_server yet (build it with" \
      "'cmake --build --preset native --target vprinter-pty')"
    return 0
  fi
  timing "vprinter-pty built"
  local before=$failures status=0
  transfer_steps || status=$?
  finish_run "$before"
  timing "run ended"
  return $status
}

transfer_steps() {
  run_name=transfer
  e2e_prefix smoke-transfer
  timing "prefix copied"
  local instance=e2e0001
  e2e_register_printer "$instance" "$hardware_id&REV_0100" "$hardware_id" --port 1
  timing "printer registered"

  local link ready=$WINEPREFIX/printer.ready record=$E2E_BUILD_DIR/smoke-record.json
  link=$(e2e_device_link "$instance" "$hardware_id")
  rm -f "$ready" "$record"
  # A slow link, so that the progress page shows more than its last step.
  "$printer_server" --link "$link" --expect-image "$image" --record "$record" \
    --ready-file "$ready" --bytes-per-second 400000 \
    >"$E2E_BUILD_DIR/vprinter.log" 2>&1 &
  printer_pid=$!
  local deadline=$((SECONDS + 10))
  until [[ -s $ready ]]; do
    kill -0 "$printer_pid" 2>/dev/null || { fail "vprinter-pty ended early"; return 1; }
    ((SECONDS < deadline)) || { fail "vprinter-pty wrote no ready file"; return 1; }
    sleep 0.02
  done
  if [[ -L $link ]]; then pass "printer link $link"; else fail "no printer link at $link"; fi
  timing "printer serving"

  timeout 600 wine "$updater" & updater_pid=$!
  ui_start
  accept_licence || return 1
  ui read main || fail "read main: $reply"
  check "main: printer ready" \
    '.controls[] | select(.id == 110) | .text | startswith("Click [Transfer]")' "$reply"
  check "main: button 1 reads Transfer" '.controls[] | select(.id == 1) | .text == "Transfer"' "$reply"
  shot 2-main
  timing "main page read"

  # A second driver takes the progress page's picture halfway, while the first
  # one watches it.
  (
    timeout 120 wine "$E2E_UIDRIVER" --caption "$E2E_CAPTION" wait-pos 40 60000 >/dev/null &&
      import -window root "$shots/$run_name-4-progress.png"
  ) &
  local halfway_pid=$!
  ui press main 1 || fail "press Transfer: $reply"
  ui wait progress 30000 || { fail "no progress page: $reply"; return 1; }
  timing "progress page shown"
  ui read progress || fail "read progress: $reply"
  check "progress caption" '.caption == $c' "$reply" --arg c "$E2E_CAPTION"
  check "progress: heading" \
    '.controls[] | select(.id == 112) | .text == "Transferring the firmware to printer..."' "$reply"
  ui watch-progress 120000 || fail "watch-progress: $reply"
  local samples
  samples=$(jq -c '[.samples[] | [.pos, .percent]]' <<<"$reply")
  echo "  progress seen: $samples"
  check "progress: positions never go back" \
    '[.samples[].pos] as $p | [range(1; $p | length) | $p[.] >= $p[. - 1]] | all' "$reply"
  check "progress: texts are \"N %\"" '[.samples[].percent | test("^[0-9]+ %$")] | all' "$reply"
  check "progress: ends at 100 %" '.samples[-1].percent == "100 %"' "$reply"
  timing "progress page gone"
  if wait "$halfway_pid"; then
    echo "  screenshot: $shots/$run_name-4-progress.png"
  else
    fail "no picture of the progress page halfway"
  fi

  ui wait main 30000 || fail "main page not shown again: $reply"
  ui read main || fail "read main: $reply"
  check "main: \"Firmware transfer complete. \"" \
    '.controls[] | select(.id == 110) | .text == "Firmware transfer complete. "' "$reply"
  check "main: button 1 hidden" '.controls[] | select(.id == 1) | .visible == false' "$reply"
  shot 5-main-complete
  timing "main page read"
  ui press main 2 || fail "press Exit: $reply"
  wait_updater 30
  timing "Exit pressed, updater ended"

  # The printer writes its record when it ends.
  kill -TERM "$printer_pid" 2>/dev/null || true
  deadline=$((SECONDS + 10))
  while kill -0 "$printer_pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.02; done
  wait "$printer_pid" 2>/dev/null || true
  printer_pid=""
  if [[ -s $record ]]; then
    echo "  record: $(jq -c '{writes, announcedLength, imageBytes, imageComplete, imageMatches, errors}' "$record")"
    check "printer: image complete" '.imageComplete == true' "$(cat "$record")"
    check "printer: image matched" '.imageMatches == true' "$(cat "$record")"
    check "printer: no protocol errors" '.errors | length == 0' "$(cat "$record")"
  else
    fail "printer wrote no record"
  fi
  timing "printer stopped"
}

run_absent || true
run_transfer || true

echo "smoke: $passes passed, $failures failed"
((failures == 0))
