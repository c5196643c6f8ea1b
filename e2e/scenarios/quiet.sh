#!/bin/bash
# e2e: no-display (the unattended run needs no screen, and must get none)
# The unattended run with no display at all (DISPLAY unset, no Xvfb):
# FirmwareUpdater.exe /quiet /accept-licence and its other command lines, each
# with its exit code, its log on standard output and what the printer received,
# and none of them so much as trying to make a window (Wine says
# "nodrv_CreateWindow" when a program does). A second quiet copy and a /check
# started half-way through a transfer end with 4 and the printer still gets one
# whole image. /log: the transfer's lines reach the file as they are said, a
# later /check (which neither writes nor reads a byte of the printer) adds its
# own, each with its time; a log that cannot be opened ends the run with 5.
# Then scripts/update-from-linux --quiet against a stand-in sysfs: the
# updater's log and exit code come through it, with no display either.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"
# With a display, a window the updater made would not show in Wine's output.
[[ -z ${DISPLAY:-} ]] || { echo "quiet: DISPLAY is set; e2e/run-tests runs this with none"; exit 1; }
# The updater's stderr: every line with its process id, and the processes it
# starts; a window any of them tries to make without a display.
updater_debug=-all,err+winediag,+pid,trace+process

# quiet_run NAME ARGS...: the updater with these arguments; its exit code in
# $status, its log (line ends CR LF, taken off) in $log, its time in $took.
quiet_run() {
  local name=$1 start
  shift
  start=$(now)
  WINEDEBUG=$updater_debug timeout 120 wine "$E2E_UPDATER" "$@" >"$E2E_LOGS/$scenario-$name.log" \
    2>"$E2E_LOGS/$scenario-$name.err"
  status=$?
  took=$(seconds_since "$start")
  quiet_result "$name" "$*"
}
quiet_result() {
  log=$(tr -d '\r' <"$E2E_LOGS/$scenario-$1.log")
  echo "  $1: $2 -> exit $status in $took s"
  tr -d '\r' <"$E2E_LOGS/$scenario-$1.log" | sed 's/^/    | /'
  # A reason always comes in the system's words, never as a bare "error 0".
  if grep -q 'error 0\b' <<<"$log"; then fail "$1: the log has an \"error 0\""; fi
  # The updater's user32 starts explorer.exe for a desktop, which cannot make
  # its window either: those lines (by explorer's process id) are not the
  # updater's.
  local err=$E2E_LOGS/$scenario-$1.err explorers
  explorers=$(grep -o 'explorer\.exe" pid [0-9a-f]*' "$err" | awk '{ printf "-e ^%s: ", $NF }')
  # shellcheck disable=SC2086  # one -e per process id
  if grep nodrv_CreateWindow "$err" | grep -qv ${explorers:--e ^$}; then
    fail "$1: it tried to make a window"
  fi
}

# The whole log of a complete run: a line per block with the percentage the
# page would show (an accumulator of 100 x 65,472 per full block over the
# image's length, then 100 for the last block).
complete_log() {
  local length block=0 remaining accumulated=0
  length=$(stat -c %s "$E2E_IMAGE")
  remaining=$length
  printf '%s\n' "Firmware update for $E2E_CAPTION, quiet mode." \
    "Licence accepted on the command line." "Printer found: $1"
  while ((remaining > 65472)); do
    accumulated=$((accumulated + 6547200)) remaining=$((remaining - 65472))
    printf 'Block %d sent: %d %%\n' $((++block)) $((accumulated / length))
  done
  ((length == 0)) || printf 'Block %d sent: 100 %%\n' $((++block))
  echo "Firmware transfer complete. Exit code 0."
}

# The log file of the runs that name one, in a folder with a blank in its name.
log_file='C:\some folder\update.log'
log_file_unix() { printf '%s/drive_c/some folder/update.log' "$WINEPREFIX"; }

# A slow printer, the image whole, its lines in the log file while it goes, and
# meanwhile a second quiet copy and then a check refused. The image takes 25 s,
# time for both under emulation on a loaded machine.
accepted_with_a_second_copy() {
  local path deadline
  path="\\\\?\\$(basename "$(wine_device_link p1 "$E2E_HARDWARE_ID")")"
  mkdir -p "$(dirname "$(log_file_unix)")"
  printer_start p1 --bytes-per-second 40000 || return 1
  local start
  start=$(now)
  WINEDEBUG=$updater_debug timeout 120 wine "$E2E_UPDATER" /quiet /accept-licence /log "$log_file" \
    >"$E2E_LOGS/$scenario-accepted.log" \
    2>"$E2E_LOGS/$scenario-accepted.err" &
  updater_pid=$!
  deadline=$((SECONDS + 30))
  until grep -q ' Block 2 sent' "$(log_file_unix)" 2>/dev/null; do
    if ! kill -0 "$updater_pid" 2>/dev/null || ((SECONDS >= deadline)); then break; fi
    sleep 0.05
  done
  if kill -0 "$updater_pid" 2>/dev/null; then
    pass "the log file has block 2's line while the transfer goes on"
  else
    fail "the log file had no line for block 2 while the updater ran"
  fi
  quiet_run second-copy /quiet /accept-licence
  check "a second copy ends with 4 at once" '.[0] == 4 and .[1] < 10' "[$status, $took]"
  check "... saying so" '. == $t' "$(tail -1 <<<"$log" | jq -R .)" --arg t \
    "Another copy of the updater is running for this printer model: nothing was sent. Exit code 4."
  quiet_run second-check /check
  check "a check meanwhile ends with 4 too" '. == 4' "$status"
  kill -0 "$updater_pid" 2>/dev/null || fail "the transfer ended before the second copies did"
  status=0
  wait "$updater_pid" || status=$?
  updater_pid=""
  took=$(seconds_since "$start")
  quiet_result accepted "/quiet /accept-licence /log \"$log_file\""
  check "accepted: exit 0" '. == 0' "$status"
  if [[ $(grep -v '^Printer says: ' <<<"$log") == "$(complete_log "$path")" ]]; then
    pass "accepted: the log names the printer, has a line per block and says complete"
  else
    fail "accepted: the log is not the one expected:"$'\n'"$(complete_log "$path")"
  fi
  # A pseudo-terminal answers no device request, and the log says so in Wine's words.
  if [[ $(sed -n 4p <<<"$log") =~ ^Printer\ says:\ nothing\ \(error\ 50:\ .+\)$ ]]; then
    pass "accepted: after the printer found, what it says: nothing, and why"
  else
    fail "accepted: the fourth line is not what the printer says"
  fi
  printer_stop p1
  check_image_received
}

# The printer looked for again with /check into the same log: found, not a
# byte written or read; the file holds both runs' lines, each with its time.
checked_into_the_log() {
  local stamps
  printer_start p1 || return 1
  quiet_run check /check /log "$log_file"
  check "check: exit 0" '. == 0' "$status"
  check "check: the printer found, nothing sent" '. == $t' "$(tail -2 <<<"$log" | jq -Rs .)" --arg t \
    "Printer found: $1"$'\n'"Printer check complete: nothing was sent. Exit code 0."$'\n'
  printer_stop p1
  check "check: the printer had not a byte written or read" \
    '.writes == [] and .reads == [] and .bytesReceived == 0 and .bytesSent == 0' "$record"
  if cat "$E2E_LOGS/$scenario-accepted.log" "$E2E_LOGS/$scenario-check.log" | cmp -s - \
    <(sed -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} //' "$(log_file_unix)"); then
    pass "the log file holds both runs' lines, in order, ended CR LF"
  else
    fail "the log file is not both runs' lines:"$'\n'"$(cat "$(log_file_unix)")"
  fi
  stamps=$(grep -c -E $'^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [^\r]*\r$' "$(log_file_unix)")
  check "... each after its date and time" '.[0] == .[1]' "[$stamps, $(wc -l <"$(log_file_unix)")]"
}

# case | arguments | printer p1 (vprinter-pty options; "none": not listed) |
# exit | the log's last line (an extended regular expression). The printer that
# vanishes after 400,000 bytes is inside block 7, but the pseudo-terminal's
# buffer may take that block whole: the failure is at block 7 or 8.
cases=(
  'not-accepted|/quiet||1|Licence not accepted: nothing was sent\. /accept-licence accepts it on your organisation.s behalf\. Exit code 1\.'
  'unknown|/quiet /accept-licence /force||5|Cannot read the command line: unknown argument "/force" \(known: /quiet, /accept-licence, /check, /log PATH\)\. Exit code 5\.'
  'vanishes|-QUIET -Accept-Licence|--disconnect-after 400000|3|Transfer failed at write block [78]: write \(error [1-9][0-9]*: .+\)\. Exit code 3\.'
  'no-printer|/quiet /accept-licence|none|2|Printer not found \(failed at device search: no printer-class device present\)\. Exit code 2\.'
  'check-no-printer|/check|none|2|Printer not found \(failed at device search: no printer-class device present\)\. Exit code 2\.'
  'log-unwritable|/quiet /accept-licence /log C:\no-folder\update.log||5|Cannot open the log file "C:\\no-folder\\update\.log" \(error 3: [^)]+\): nothing was sent\. Exit code 5\.'
)

# the_cases NAME...: those rows of the table.
the_cases() {
  local c name arguments options expected last
  for c in "${cases[@]}"; do
    IFS='|' read -r name arguments options expected last <<<"$c"
    [[ " $* " == *" $name "* ]] || continue
    # shellcheck disable=SC2086  # the options are words
    [[ $options == none ]] || printer_start p1 $options || return 1
    # shellcheck disable=SC2086  # so are the arguments
    quiet_run "$name" $arguments
    check "$name: exit $expected" '. == $e' "$status" --argjson e "$expected"
    if tail -1 <<<"$log" | grep -qxE "$last"; then pass "$name: the log says why"; else fail "$name: its last line"; fi
    case $name in
      vanishes)
        # Well inside the 30 s time-out: the failure came from the vanished printer
        # (a loaded machine that runs Wine under emulation takes 20 s and more to get there).
        check "vanishes: the failure came before a time-out could" '. < 29' "$took"
        check "vanishes: a line for each block sent before the one that failed" '.[0] == .[1] - 1' \
          "[$(grep -c '^Block [0-9]* sent: ' <<<"$log"), $(tail -1 <<<"$log" | sed -E 's/.*write block ([0-9]+).*/\1/;t;s/.*/0/')]"
        printer_cut_short disconnect 400000 p1
        ;;
      no-printer | check-no-printer) ;;
      *) printers_idle p1 ;;
    esac
  done
}

# scripts/update-from-linux --quiet: the printer of the updater at the stand-in's
# /dev/usb/lp3, the script's own codes for no printer and an unknown option.
from_linux() {
  echo "-- scripts/update-from-linux --quiet, no display"
  local script=${E2E_UPDATE_FROM_LINUX:-$E2E_SOURCE_DIR/scripts/update-from-linux}
  local out=$E2E_LOGS/$scenario-script.txt c name options expected line
  local linux_prefix=$E2E_BUILD_DIR/runs/$scenario.linux
  stand_in_plug "$stand_in"
  WINE_PREFIXES+=("$linux_prefix")
  # case | options | exit | a line the output holds
  for c in 'accepted|--quiet --accept-licence|0|Firmware transfer complete. Exit code 0.' \
    'not-accepted|--quiet|1|Licence not accepted: nothing was sent. /accept-licence accepts it on your organisation'"'"'s behalf. Exit code 1.' \
    'unknown|--quiet --accept-licence --force|5|update-from-linux: unknown option --force (see --help)' \
    'unplugged|--quiet --accept-licence|2|No printer with the id'; do
    IFS='|' read -r name options expected line <<<"$c"
    [[ $name != unplugged ]] || stand_in_unplug "$stand_in"
    printer_start p2 --at "$stand_in/pty" || return 1
    rm -rf "$linux_prefix"
    # shellcheck disable=SC2086  # the options are words
    WINEDEBUG=-all HOME=$stand_in/home XDG_CACHE_HOME=$E2E_BUILD_DIR/user-cache UPDATE_SYSFS_ROOT=$stand_in/sys \
      UPDATE_DEV_ROOT=$stand_in/dev timeout -k 5 200 "$script" --exe "$E2E_UPDATER" --allow-root \
      --prefix "$linux_prefix" $options >"$out" 2>&1
    status=$?
    echo "  script $options -> exit $status"
    sed 's/^/    | /' "$out"
    check "script, $name: exit $expected" '. == $e' "$status" --argjson e "$expected"
    if grep -qF -- "$line" "$out"; then pass "script, $name: it said so"; else fail "script, $name: no \"$line\""; fi
    printer_stop p2
    if [[ $name == accepted ]]; then check_image_received; else
      check "printer p2: received nothing" '.bytesReceived == 0' "$record"
    fi
  done
}

steps() {
  scenario_begin quiet || return 1
  stand_in=$(mktemp -d /tmp/e2e-quiet.XXXXXX)
  trap 'scenario_cleanup; rm -rf "$stand_in"' EXIT
  the_cases no-printer check-no-printer || return 1
  printer_register p1 || return 1
  accepted_with_a_second_copy || return 1
  checked_into_the_log "\\\\?\\$(basename "$(wine_device_link p1 "$E2E_HARDWARE_ID")")" || return 1
  the_cases not-accepted unknown vanishes log-unwritable || return 1
  from_linux
}

steps
scenario_end
