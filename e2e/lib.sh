# shellcheck shell=bash
# What every end-to-end scenario shares: checks and timings, the updater and the
# page driver, the virtual printer, screenshots. Sourced by e2e/scenarios/*.sh,
# which run on an X display (e2e/run-tests gives them Xvfb) with the builds made.
#
#   E2E_UPDATER       the executable (build/windows/FirmwareUpdater.exe)
#   E2E_KEEP_PREFIX   keep the Wine prefix even when the scenario passed
# jq filters are written in single quotes on purpose.
# shellcheck disable=SC2016

# shellcheck source=e2e/wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

E2E_UPDATER=${E2E_UPDATER:-$E2E_SOURCE_DIR/build/windows/FirmwareUpdater.exe}
E2E_PRINTER_SERVER=${E2E_PRINTER_SERVER:-$E2E_SOURCE_DIR/build/native/vprinter/vprinter-pty}
E2E_SHOTS=${E2E_SHOTS:-$E2E_BUILD_DIR/shots}
E2E_LOGS=$E2E_BUILD_DIR/logs
mkdir -p "$E2E_SHOTS" "$E2E_LOGS"

failures=0
passes=0
reply=""
ui_pid=""
updater_pid=""
scenario=""

# ---- Checks and timings ------------------------------------------------------------

pass() {
  passes=$((passes + 1))
  echo "  ok: $*"
}
fail() {
  failures=$((failures + 1))
  echo "  FAIL: $*"
}
# check DESCRIPTION JQ_FILTER JSON [jq args...]: the filter's last output is
# neither false nor null. No JSON at all fails (jq 1.6 -e reads nothing as a pass).
check() {
  local what=$1 filter=$2 json=$3
  shift 3
  if [[ -n ${json//[[:space:]]/} ]] && jq -e "$@" "$filter" >/dev/null 2>&1 <<<"$json"; then
    pass "$what"
  else
    fail "$what"
  fi
}
# holds DESCRIPTION COMMAND...: the command succeeds.
holds() { if "${@:2}"; then pass "$1"; else fail "$1"; fi; }
# check_control DESCRIPTION PAGE_JSON CONTROL FILTER [jq args...]: FILTER holds of
# the control, given by its id or its name in res/resource.h.
check_control() {
  local id=$3
  [[ $id == [0-9]* ]] || id=$(res_id "$id")
  check "$1" ".controls[] | select(.id == $id) | $4" "$2" "${@:5}"
}
# check_text DESCRIPTION PAGE_JSON CONTROL TEXT: the control shows exactly TEXT.
check_text() { check_control "$1" "$2" "$3" '.text == $t' --arg t "$4"; }

step_start=$(now)
# "[  1.234 s] what": the time since the step before.
timing() {
  printf '[%7s s] %s\n' "$(seconds_since "$step_start")" "$*"
  step_start=$(now)
}

# ---- What the updater was built with ----------------------------------------------

# The build the updater comes from.
E2E_CAPTION=$(cmake_cache_value "${E2E_UPDATER%/*}" UPDATER_MODEL_NAME)
E2E_CAPTION+=" ($(cmake_cache_value "${E2E_UPDATER%/*}" UPDATER_VERSION_TEXT))"
E2E_HARDWARE_ID=$(cmake_cache_value "${E2E_UPDATER%/*}" UPDATER_HARDWARE_ID)

# res_id NAME: the number res/resource.h gives NAME (IDC_ACCEPT, IDS_READY, ...).
res_id() { sed -n "s/^#define $1 \([0-9]*\)$/\1/p" "$E2E_SOURCE_DIR/res/resource.h"; }

# e2e_extract_image [FILE]: the image the executable carries, read out of its
# resources into FILE (firmware-from-exe.bin in the prefix), as $E2E_IMAGE: the
# printer checks what it receives against this, not against a file of the build.
# shellcheck disable=SC2120,SC2119  # linux-printer gives the file
e2e_extract_image() {
  E2E_IMAGE=${1:-$WINEPREFIX/firmware-from-exe.bin}
  /usr/bin/python3 "$E2E_SOURCE_DIR/res/tools/exe_resources.py" image "$E2E_UPDATER" "$E2E_IMAGE" ||
    { fail "no image in $E2E_UPDATER"; return 1; }
}

# updater_damaged OUT: a copy of the updater with the middle byte of its image
# flipped, as if damaged after the build (the image is stored once for both
# languages, so one byte damages both).
updater_damaged() {
  cp "$E2E_UPDATER" "$1" &&
    /usr/bin/python3 "$E2E_SOURCE_DIR/res/tools/exe_resources.py" damage-image "$1"
}

# ---- A scenario's beginning and end -------------------------------------------------

# scenario_begin NAME: a fresh prefix of that name, the image at $E2E_IMAGE.
scenario_begin() {
  scenario=$1
  echo "== $scenario"
  trap scenario_cleanup EXIT
  e2e_prefix "$scenario"
  e2e_extract_image || return 1
  timing "prefix ready"
}

# scenario_pty_route: the scenario's second half, in a second prefix (the test
# driver stays loaded in the first) where the printer is reached through its
# pseudo-terminal alone; the first prefix goes if all passed so far.
scenario_pty_route() {
  echo "-- through the pseudo-terminal alone"
  ((failures == 0)) && e2e_discard_prefix
  e2e_prefix "$scenario.pty" && e2e_extract_image
}

# Japanese pages: Wine's edit control lays its text out through Uniscribe,
# which does not fall back to Tahoma's linked font, so the agreement would draw
# as empty boxes. Without Tahoma, Wine draws the pages wholly in the linked
# Japanese font, every control alike.
japanese_fonts() {
  rm -f "$WINEPREFIX"/drive_c/windows/Fonts/tahoma*.ttf
}

scenario_cleanup() {
  [[ -n $ui_pid ]] && kill "$ui_pid" 2>/dev/null
  [[ -n $updater_pid ]] && kill "$updater_pid" 2>/dev/null
  local pid
  for pid in "${printer_pids[@]}"; do kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  wine_stop_all
}

# scenario_end: everything stops, the prefix goes when all passed; the status is
# the scenario's verdict.
scenario_end() {
  [[ -n $ui_pid ]] && ui_stop
  if [[ -n $updater_pid ]]; then
    kill "$updater_pid" 2>/dev/null || true
    wait "$updater_pid" 2>/dev/null || true
    updater_pid=""
  fi
  printer_stop_all
  if ((failures == 0)) && [[ -z ${E2E_KEEP_PREFIX:-} ]]; then
    e2e_discard_prefix
  else
    timeout 30 wineserver -k 2>/dev/null || true
    echo "  prefix kept: $WINEPREFIX"
  fi
  echo "$scenario: $passes passed, $failures failed"
  ((failures == 0))
}

# ---- The updater ----------------------------------------------------------------------

updater_start() {
  timeout 600 wine "$E2E_UPDATER" >>"$E2E_LOGS/$scenario-updater.log" 2>&1 &
  updater_pid=$!
  ui_start
}

# updater_wait SECONDS: the updater ends by itself within that time, with status 0.
updater_wait() {
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

# ---- The page driver, one process per updater run, spoken to line by line ----------

# E2E_UI_WIDE=1 reads the pages' texts as UTF-16 rather than through the code page.
ui_start() {
  coproc UI { exec timeout 600 wine "$E2E_UIDRIVER" --caption "$E2E_CAPTION" ${E2E_UI_WIDE:+--wide} -; }
  # shellcheck disable=SC2153  # coproc names it
  ui_pid=$UI_PID
}
# ui COMMAND...: the reply line in $reply; its "ok" as status.
ui() {
  reply=""
  if [[ -z ${UI[1]:-} ]] || ! { echo "$*" >&"${UI[1]}"; } 2>/dev/null; then
    reply='{"ok":false,"error":"uidriver is not running"}'
    return 1
  fi
  if ! IFS= read -r -t 180 reply <&"${UI[0]}"; then
    reply='{"ok":false,"error":"uidriver did not answer"}'
  fi
  jq -e '.ok' >/dev/null 2>&1 <<<"$reply"
}
# The driver may have gone with its prefix's wineserver: bash then unsets UI.
ui_stop() {
  [[ -z ${UI[1]:-} ]] || { echo quit >&"${UI[1]}"; } 2>/dev/null || true
  local deadline=$((SECONDS + 10))
  while kill -0 "$ui_pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.02; done
  kill "$ui_pid" 2>/dev/null || true
  wait "$ui_pid" 2>/dev/null || true
  ui_pid=""
}

# wait_page PAGE SECONDS: ui wait in short slices, so that an updater that ended
# early (with no display its dialogs fail and it exits 0) is told at once.
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

# read_page PAGE: $reply holds the page; a failed read fails the scenario.
read_page() {
  ui read "$1" || fail "read $1: $reply"
}

# screen_picture FILE: the screen, cut to what is drawn on it (the pages; the
# rest of the Xvfb screen is black).
screen_picture() {
  import -window root png:- | convert png:- -trim +repage -bordercolor black -border 1 "$1"
}

# A picture of the screen, named after the scenario and the moment.
shot() {
  screen_picture "$E2E_SHOTS/$scenario-$1.png"
  echo "  screenshot: $E2E_SHOTS/$scenario-$1.png"
}

# shot_at_progress POS NAME: in the background, a second driver waits for the
# progress bar to reach POS and the screen is taken then, while the first driver
# watches the page. shot_at_progress_done tells whether it was taken.
shot_at_progress() {
  (
    timeout 120 wine "$E2E_UIDRIVER" --caption "$E2E_CAPTION" wait-pos "$1" 60000 >/dev/null &&
      screen_picture "$E2E_SHOTS/$scenario-$2.png"
  ) &
  progress_shot_pid=$!
  progress_shot_name=$2
}
shot_at_progress_done() {
  if wait "$progress_shot_pid"; then
    echo "  screenshot: $E2E_SHOTS/$scenario-$progress_shot_name.png"
  else
    fail "no picture of the progress page at the time asked"
  fi
}

# The licence page as it opens: the caption, the agreement, refusal chosen.
licence_shown() {
  wait_page licence 120 || { fail "no licence page: $reply"; return 1; }
  timing "licence page shown"
  read_page licence
  check "licence: caption is \"$E2E_CAPTION\"" '.caption == $c' "$reply" --arg c "$E2E_CAPTION"
  check_control "licence: refusal chosen at first" "$reply" IDC_REFUSE '.check == 1'
  check_control "licence: acceptance not chosen" "$reply" IDC_ACCEPT '.check == 0'
  check_control "licence: the agreement shown" "$reply" IDC_LICENSE_TEXT '.text | length > 1000'
}

# ready_shown: the updater started, its licence accepted, and the main page says
# the printer is ready; the page is in $reply.
ready_shown() {
  updater_start
  accept_licence || return 1
  read_page main
  check_text "main: ready" "$reply" IDC_MESSAGE "Click [Transfer] to start transferring the firmware for update."
}

# Licence accepted (its button, then OK) and the main page shown.
accept_licence() {
  licence_shown && accept_licence_pressed
}
accept_licence_pressed() {
  ui press licence "$(res_id IDC_ACCEPT)" || fail "press IDC_ACCEPT: $reply"
  read_page licence
  check_control "licence: acceptance chosen after the click" "$reply" IDC_ACCEPT '.check == 1'
  check_control "licence: refusal cleared by it" "$reply" IDC_REFUSE '.check == 0'
  ui press licence 1 || fail "press OK: $reply"
  ui gone licence 10000 || fail "licence page still shown: $reply"
  wait_page main 30 || { fail "no main page: $reply"; return 1; }
  timing "licence accepted, main page shown"
}

# watch_transfer SECONDS: the progress page from its appearance to its end; the
# samples (position and percentage text at each change) in $progress_samples.
watch_transfer() {
  local limit=$1
  wait_page progress 30 || { fail "no progress page: $reply"; return 1; }
  timing "progress page shown"
  read_page progress
  check "progress: caption" '.caption == $c' "$reply" --arg c "$E2E_CAPTION"
  ui watch-progress $((limit * 1000)) || fail "watch-progress: $reply"
  progress_samples=$(jq -c '.samples' <<<"$reply")
  jq -c ".samples[] | [.t_ms, .pos, .percent]" <<<"$reply" >"$E2E_LOGS/$scenario-progress-$(date +%s%N).txt"
  echo "  progress seen: $(jq -c '[.[] | .pos]' <<<"$progress_samples")"
  check "progress: the bar never goes back" \
    '[.[].pos] as $p | [range(1; $p | length) | $p[.] >= $p[. - 1]] | all' "$progress_samples"
  timing "progress page gone"
}

# complete_shown [TEXT]: the main page is back and says the transfer is
# complete (the English text unless TEXT); the page is in $reply.
# shellcheck disable=SC2120,SC2119  # the Japanese scenario passes its text
complete_shown() {
  wait_page main 30 || { fail "main page not shown again: $reply"; return 1; }
  read_page main
  check_text "main: complete" "$reply" IDC_MESSAGE "${1:-Firmware transfer complete. }"
}

# complete_and_exit TEXT EXIT_LABEL: complete_shown in another language, its Exit
# button's label, a screenshot, then exit_with_image.
complete_and_exit() {
  complete_shown "$1" || return 1
  check_text "main: button 2" "$reply" 2 "$2"
  shot main-complete
  exit_with_image
}

# exit_with_image: Exit ends the updater, and the printer (the one started
# last) shows the whole image in its record.
exit_with_image() {
  exit_pressed
  printer_stop
  check_image_received
}

# transfer_completes: button 1 pressed on the main page, the progress page
# watched to 100 %, "complete", then exit_with_image.
transfer_completes() {
  ui press main 1 || fail "press button 1: $reply"
  watch_transfer 120
  check "progress: ends at 100 %" '.[-1].percent == "100 %"' "$progress_samples"
  complete_shown || return 1
  exit_with_image
}

# transfer_under_way: printer p1 on a slow link (about 5 s for the image), the
# updater started, Transfer pressed and the bar past 12: time for something to
# happen half-way through the image.
transfer_under_way() {
  printer_register p1 || return 1
  printer_start p1 --bytes-per-second 200000 || return 1
  updater_start
  accept_licence || return 1
  ui press main 1 || fail "press Transfer: $reply"
  wait_page progress 30 || { fail "no progress page: $reply"; return 1; }
  ui wait-pos 12 30000 || fail "the transfer did not get going: $reply"
}

# ---- The virtual printer --------------------------------------------------------------

# printer_register INSTANCE [HWID]: setupapi lists a printer with this id (and its
# revision form) on port 1.
printer_register() {
  local instance=$1 hwid=${2:-$E2E_HARDWARE_ID} revision
  # USB\VID_x&PID_y&MI_01 -> USB\VID_x&PID_y&REV_0100&MI_01, as Windows lists them.
  if [[ $hwid == *"&MI_"* ]]; then revision="${hwid%&MI_*}&REV_0100&MI_${hwid##*&MI_}"
  else revision="$hwid&REV_0100"; fi
  wine_register_printer "$instance" "$revision" "$hwid" --port 1 ||
    { fail "registering printer $instance"; return 1; }
}

# printer_start INSTANCE [--id DEVICE_OR_HARDWARE_ID | --at PATH | --driver]
# [vprinter-pty options...]: serves the printer on the link its device path
# reaches (the updater's own hardware id unless --id says otherwise; --at names
# the link itself; --driver is the link the test driver forwards to for the
# printer of that name), checking what it receives against the executable's
# image. Several printers may run at once, one server each.
declare -A printer_pids=() printer_records=()
printer_last=""
printer_start() {
  local instance=$1 id=$E2E_HARDWARE_ID link=""
  shift
  case ${1:-} in
    --id) id=$2; shift 2 ;;
    --at) link=$2; shift 2 ;;
    --driver) link=$(e2e_driver_pty "$instance"); shift ;;
  esac
  local ready=$E2E_LOGS/$scenario-printer-$instance.ready
  [[ -n $link ]] || link=$(wine_device_link "$instance" "$id")
  printer_records[$instance]=$E2E_LOGS/$scenario-record-$instance-$(date +%s%N).json
  rm -f "$ready"
  "$E2E_PRINTER_SERVER" --link "$link" --expect-image "$E2E_IMAGE" \
    --record "${printer_records[$instance]}" --ready-file "$ready" "$@" \
    >>"$E2E_LOGS/$scenario-printer-$instance.log" 2>&1 &
  printer_pids[$instance]=$!
  printer_last=$instance
  local deadline=$((SECONDS + 10))
  until [[ -s $ready ]]; do
    kill -0 "${printer_pids[$instance]}" 2>/dev/null || { fail "vprinter-pty ended early"; return 1; }
    ((SECONDS < deadline)) || { fail "vprinter-pty wrote no ready file"; return 1; }
    sleep 0.02
  done
  timing "printer $instance serving on $link"
}

# printer_stop [INSTANCE]: the printer (the one started last by default) ends
# and writes its record, read into $record.
printer_stop() {
  local instance=${1:-$printer_last}
  record=""
  [[ -n $instance && -n ${printer_pids[$instance]:-} ]] || return 0
  kill -TERM "${printer_pids[$instance]}" 2>/dev/null || true
  wait "${printer_pids[$instance]}" 2>/dev/null || true
  unset "printer_pids[$instance]"
  if [[ -s ${printer_records[$instance]} ]]; then
    record=$(cat "${printer_records[$instance]}")
    echo "  printer $instance record: $(jq -c '{bytesReceived, queries, switchRequests,
      announcedLength, imageBytes, imageComplete, imageMatches, errors, fault, faultOffset}' \
      <<<"$record")"
  else
    fail "printer $instance wrote no record"
  fi
}

printer_stop_all() {
  local instance
  for instance in "${!printer_pids[@]}"; do printer_stop "$instance"; done
}

# The record says the whole image arrived, equal to the executable's own.
check_image_received() {
  check "printer: the header announced the image's length" \
    '.announcedLength == $n' "$record" --argjson n "$(stat -c %s "$E2E_IMAGE")"
  check "printer: the whole image arrived" '.imageComplete == true' "$record"
  check "printer: it equals the executable's image" '.imageMatches == true' "$record"
  check "printer: no protocol errors" '.errors | length == 0' "$record"
}

# rc_string LANG IDS_NAME: a text of res/strings-LANG.rc as the program shows it
# (the file is UTF-8; "\n" is a line break, "" a quote).
rc_string() {
  sed -n "s/^ *$2, \"\(.*\)\"\$/\1/p" "$E2E_SOURCE_DIR/res/strings-$1.rc" |
    sed -e 's/""/"/g' -e 's/\\n/\n/g'
}

# stand_in_plug DIR, stand_in_unplug DIR: our printer plugged into (pulled out of)
# the sysfs and /dev under DIR, as scripts/update-from-linux sees them with
# UPDATE_SYSFS_ROOT=DIR/sys and UPDATE_DEV_ROOT=DIR/dev: USB device 1-3, its node
# usb/lp3 a link to DIR/pty, where a printer may serve. DIR/home is made too.
stand_in_plug() {
  local usb=$1/sys/bus/usb/devices/1-3
  mkdir -p "$usb" "$usb:1.0/usbmisc/lp3" "$1/dev/usb" "$1/home"
  vendor_of "$E2E_HARDWARE_ID" | tr A-F a-f >"$usb/idVendor"
  product_of "$E2E_HARDWARE_ID" | tr A-F a-f >"$usb/idProduct"
  echo 0100 >"$usb/bcdDevice" && echo 00 >"$usb:1.0/bInterfaceNumber"
  ln -sfn "$1/pty" "$1/dev/usb/lp3"
}
stand_in_unplug() { rm -rf "$1/sys/bus/usb/devices/1-3" "$1/sys/bus/usb/devices/1-3:1.0"; }

# ---- Printers behind the test driver --------------------------------------------------

# driver_printer NAME METHOD LINK VID PID [options of e2e_driver_printer]: the
# driver will serve this printer once driver_start has run.
driver_printer() {
  e2e_driver_printer "$@" || { fail "asking the driver for printer $1"; return 1; }
}
# driver_our_printer NAME METHOD LINK [options]: the same with the updater's own
# vendor and product ids.
driver_our_printer() {
  local name=$1 method=$2 link=$3
  shift 3
  driver_printer "$name" "$method" "$link" "$(vendor_of "$E2E_HARDWARE_ID")" \
    "$(product_of "$E2E_HARDWARE_ID")" "$@"
}
driver_start() {
  e2e_driver_start || { fail "the test driver did not start"; return 1; }
  timing "test driver loaded"
}

# driver_record NAME: what the driver recorded of that printer, in $driver_record.
driver_record() {
  driver_record=$(cat "$(e2e_driver_record "$1")" 2>/dev/null)
  echo "  driver record of $1: $driver_record"
}

# "UsbscanN": the still-image device with that number.
still_image_link() { printf 'Usbscan%d' "$1"; }

# The vendor and product ids (four hexadecimal digits each) of a hardware id.
vendor_of() { sed -E 's/^USB\\VID_(....).*/\1/' <<<"$1"; }
product_of() { sed -E 's/^USB\\VID_....&PID_(....).*/\1/' <<<"$1"; }

# ---- Pages shared by several scenarios --------------------------------------------

# The main page says the printer was not found and offers Retry.
not_found_shown() {
  read_page main
  check_text "main: not found" "$reply" IDC_MESSAGE \
    $'Printer is not found.\nMake sure that your computer is properly connected to the printer,and that the printer is turned on.\nTo transfer the firmware again, click [Retry].'
  check_text "main: button 1 reads Retry" "$reply" 1 "Retry"
}

# exit_pressed: Exit on the main page ends the updater cleanly.
exit_pressed() {
  ui press main 2 || fail "press Exit: $reply"
  updater_wait 15
  timing "Exit pressed, updater ended"
}

# printer_cut_short FAULT OFFSET [INSTANCE]: the printer stops and its record
# shows the fault ("stall", "disconnect") where it was told to, the image
# incomplete.
printer_cut_short() {
  printer_stop "${3:-}"
  check "printer: the $1 came where it was told to" \
    '.fault == $f and .faultOffset == $o' "$record" --arg f "$1" --argjson o "$2"
  check "printer: the image stayed incomplete" '.imageComplete == false' "$record"
}

# printers_idle INSTANCE...: each of these printers stops, having received nothing.
printers_idle() {
  local other
  for other in "$@"; do
    printer_stop "$other"
    check "printer $other: received nothing" '.bytesReceived == 0' "$record"
  done
}

# transfer_fails_at_once: Transfer pressed, the progress page ends short of
# 100 % well before the time-out, and the main page says the transfer failed.
transfer_fails_at_once() {
  local pressed waited
  ui press main 1 || fail "press Transfer: $reply"
  pressed=$(now)
  watch_transfer 60
  waited=$(seconds_since "$pressed")
  echo "  Transfer to failure: $waited s"
  check "the failure came without waiting for the time-out" '. < 20' "$waited"
  check "progress: stopped short of 100" '.[-1].pos < 100' "$progress_samples"
  transfer_failed_shown
}

# transfer_fails_unwatched: as transfer_fails_at_once, for a failure that comes
# before anything is sent: the progress page comes and goes too fast to be
# watched, so the main page's message is what is waited for.
transfer_fails_unwatched() {
  local pressed deadline=$((SECONDS + 20)) took
  ui press main 1 || fail "press Transfer: $reply"
  pressed=$(now)
  until ui read main && jq -e --argjson id "$(res_id IDC_MESSAGE)" '.visible and
      (.controls[] | select(.id == $id) | .text | startswith("Could not"))' >/dev/null <<<"$reply"; do
    ((SECONDS < deadline)) || break
    sleep 0.05
  done
  took=$(seconds_since "$pressed")
  echo "  Transfer to failure: $took s"
  check "the failure came at once" '. < 20' "$took"
  transfer_failed_shown
}

# The main page says the transfer failed and offers Retry.
transfer_failed_shown() {
  wait_page main 30 || { fail "main page not shown again: $reply"; return 1; }
  read_page main
  check_text "main: the transfer failed" "$reply" IDC_MESSAGE \
    $'Could not transfer the firmware.\nTo transfer the firmware again, click [Retry].'
  check_text "main: button 1 reads Retry" "$reply" 1 "Retry"
}

# updater_told: the last failure the updater told a debugger, in $told (for
# scenarios that export WINEDEBUG=+debugstr before sourcing this file).
updater_told() {
  told=$(grep -a -o 'FirmwareUpdater: failed at [^"\\]*' "$E2E_LOGS/$scenario-updater.log" |
    tail -1)
  echo "  debugger told: $told"
}

# stall_report FAILED_AT: with the driver's record in $driver_record, the time
# from the last write the printer took to the failure shown at FAILED_AT (epoch
# seconds), checked against the 30 s time-out, and the step of the stopping
# policy that ended the blocked worker: cancellation lands at the time-out
# itself, termination only after the cancellation's 500 ms grace.
stall_report() {
  local last cancelled
  last=$(jq -r '.lastWriteDoneMs' <<<"$driver_record")
  cancelled=$(jq -r '.lastCancelMs' <<<"$driver_record")
  stall_to_failure=$(awk -v a="$last" -v b="$1" 'BEGIN { printf "%.3f", b - a / 1000 }')
  stall_to_cancel=$(awk -v a="$last" -v b="$cancelled" 'BEGIN { printf "%.3f", (b - a) / 1000 }')
  echo "  stall to failure shown: $stall_to_failure s; stall to the driver's cancel: $stall_to_cancel s"
  check "the failure showed 29.5 to 31.0 s after the last byte was taken" \
    '. >= 29.5 and . <= 31.0' "$stall_to_failure"
  if jq -e '. >= 29.5 and . < 30.45' >/dev/null <<<"$stall_to_cancel"; then
    pass "the worker was ended by CancelSynchronousIo (cancelled at the time-out)"
  else
    fail "the blocked write was not cancelled at the time-out ($stall_to_cancel s)"
  fi
  updater_told
  if [[ $told == *time-out* && $told != *termination* ]]; then
    pass "the updater told a debugger of a time-out, with no termination"
  else
    fail "the updater's own account of the failure: \"$told\""
  fi
}
