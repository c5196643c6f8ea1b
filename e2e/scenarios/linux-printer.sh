#!/bin/bash
# scripts/update-from-linux against a stand-in sysfs (another model's printer, a
# composite device whose interface 1 is a printer, ours, later a second of ours)
# and /dev, whose usb/lp node is the virtual printer's pseudo-terminal. Finding:
# interface 1 for the composite model; what it saw with ours unplugged; refused:
# a still-image updater, root, a non-empty --prefix (left as it was); the cure
# for each mode and ACL; two of ours listed. The real run: ours found; its node
# goes to another maker's printer, which receives nothing; ours back, the image
# arrives whole though the script gets SIGTERM, and its group a terminal's
# Ctrl-C, Ctrl-\ and hang-up, under a systemd-inhibit blocking sleep and shutdown;
# only what the script made goes. Quiet runs cut short: their codes; the checkout only read.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

script=${E2E_UPDATE_FROM_LINUX:-$E2E_SOURCE_DIR/scripts/update-from-linux}
composite_updater=$E2E_SOURCE_DIR/build/windows-mode-switch/FirmwareUpdater.exe
still_image_updater=${E2E_STILL_IMAGE_UPDATER:-$E2E_SOURCE_DIR/build/windows-still-image/FirmwareUpdater.exe}
serial=X3350N-000117

# fake_printer SYSFS DEVICE VENDOR PRODUCT NAME SERIAL INTERFACE:LP...: a USB device
# with printer interfaces served by usblp, as sysfs shows them.
fake_printer() {
  local sysfs=$1/bus/usb/devices device=$2 vendor=$3 product=$4 name=$5 serial=$6 pair
  shift 6
  mkdir -p "$sysfs/$device"
  echo "$vendor" >"$sysfs/$device/idVendor"
  echo "$product" >"$sysfs/$device/idProduct"
  echo 0100 >"$sysfs/$device/bcdDevice"
  echo "$name" >"$sysfs/$device/product"
  [[ -z $serial ]] || echo "$serial" >"$sysfs/$device/serial"
  for pair in "$@"; do
    local iface=$sysfs/$device:1.${pair%%:*}
    mkdir -p "$iface/usbmisc/${pair#*:}"
    printf '%02x\n' "${pair%%:*}" >"$iface/bInterfaceNumber"
    echo 07 >"$iface/bInterfaceClass"
    echo "MFG:TORVAEL;MDL:$name;SN:$serial;" >"$iface/ieee1284_id"
  done
}
unplug() { rm -rf "$stand_in/sys/bus/usb/devices/$1" "$stand_in/sys/bus/usb/devices/$1":*; }

# run_script ARGS...: the script against the stand-in, its output in $out; its
# status. Limited in time: a script that wrongly went on would wait on the updater.
run_script() {
  UPDATE_SYSFS_ROOT=$stand_in/sys UPDATE_DEV_ROOT=$stand_in/dev timeout -k 5 30 "$script" "$@" >"$out" 2>&1
}
# The same as a user with no rights on the node, from copies such a user can read.
run_as_nobody() {
  UPDATE_SYSFS_ROOT=$stand_in/sys UPDATE_DEV_ROOT=$stand_in/dev \
    setpriv --reuid=nobody --regid=nogroup --clear-groups \
    "$stand_in/copy/scripts/update-from-linux" "$@" --exe "$stand_in/copy/updater.exe" >"$out" 2>&1
}
# refused STATUS DESCRIPTION TEXT...: the script failed and said every TEXT.
refused() {
  local status=$1 what=$2 text
  shift 2
  ((status != 0)) || { fail "$what: the script went on: $(cat "$out")"; return 1; }
  for text; do grep -qF -- "$text" "$out" || { fail "$what: no \"$text\" in: $(cat "$out")"; return 1; }; done
  pass "$what"
}
# script_says TEXT [SECONDS]: waits for the running script to say TEXT (10 s).
script_says() {
  local deadline=$((SECONDS + ${2:-10}))
  until grep -qF -- "$1" "$out" || ((SECONDS > deadline)); do sleep 0.1; done
  holds "the script said: $1" grep -qF -- "$1" "$out"
}

finding() {
  run_script --find-only --exe "$E2E_UPDATER"
  refused $? "unplugged: it lists the printers it saw" "7c5e:4a83  interface 00" \
    "7c5e:4a83  interface 01" "04b8:0005  interface 00" "another maker"
  run_script --find-only --exe "$composite_updater"
  holds "composite model: interface 1's node is found" grep -qF "Found it: $stand_in/dev/usb/lp1." "$out"
  holds "... and what it says it is shown" grep -qF "It says: MFG:TORVAEL;" "$out"
  run_script --find-only --exe "$still_image_updater"
  refused $? "a still-image updater is refused, by its access method" '"Usbscan"' printer-class

  fake_printer "$stand_in/sys" 1-3 7c5e 4a86 "prismatone 3350N" "$serial" 0:lp3
  local node=$stand_in/dev/usb/lp3 case mode acl texts
  : >"$node"
  chgrp lp "$node"
  # mode | ACL entry | what a user outside group lp must be told
  for case in "660||You (nobody) may not read and write $node|group lp, with mode 660|You are not in group lp|sudo usermod -aG lp nobody" \
    '600||Only its owner may|MODE="0660"|sudo usermod -aG lp nobody' \
    '660|u:daemon:rw|access control list|sudo setfacl -m u:nobody:rw'; do
    IFS='|' read -r mode acl texts <<<"$case"
    IFS='|' read -ra texts <<<"$texts"
    setfacl -b "$node" && chmod "$mode" "$node" && { [[ -z $acl ]] || setfacl -m "$acl" "$node"; }
    run_as_nobody --find-only
    refused $? "no rights, mode $mode${acl:+ and an ACL}: the cure for it" "${texts[@]}"
  done
  setfacl -b "$node" && chmod 660 "$node"

  SUDO_USER=nobody run_script --exe "$E2E_UPDATER"
  refused $? "root: refused without --allow-root, with the user's cure" "--allow-root" \
    "Add nobody to group lp: sudo usermod -aG lp nobody"
  mkdir -p "$stand_in/wine" && echo "the user's own" >"$stand_in/wine/system.reg"
  run_script --exe "$E2E_UPDATER" --allow-root --prefix "$stand_in/wine"
  refused $? "a non-empty --prefix is refused" "is not an empty folder"
  holds "... and left as it was" grep -qx "the user's own" "$stand_in/wine/system.reg"

  fake_printer "$stand_in/sys" 1-1.2 7c5e 4a86 "prismatone 3350N" X3350N-000204 0:lp4
  : >"$stand_in/dev/usb/lp4"
  run_script --find-only --exe "$E2E_UPDATER"
  refused $? "two of ours: both listed, --device asked for" --device \
    "serial $serial  $stand_in/sys/bus/usb/devices/1-3:1.0  $node" \
    "serial X3350N-000204  $stand_in/sys/bus/usb/devices/1-1.2:1.0  $stand_in/dev/usb/lp4  prismatone 3350N  says MFG:TORVAEL;MDL:prismatone 3350N;SN:X3350N-000204;"
  rm -f "$node"
  timing "finding the printer: ten cases"
}

# The updater finds the printer; its node goes to another maker's printer, and
# Transfer finds nothing there; ours comes back, and the script is sent signals
# while the image goes.
real_run() {
  local node=$stand_in/dev/usb/lp3 sockets
  printer_start p1 --at "$stand_in/pty-p1" --bytes-per-second 300000 || return 1
  ln -s "$stand_in/pty-p1" "$node"
  export WINEPREFIX=$E2E_BUILD_DIR/runs/$scenario
  WINE_PREFIXES+=("$WINEPREFIX")
  # An empty folder given: the script empties it again, and leaves it.
  rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX" "$stand_in/home"
  HOME=$stand_in/home XDG_CACHE_HOME=$E2E_BUILD_DIR/user-cache UPDATE_SYSFS_ROOT=$stand_in/sys \
    UPDATE_DEV_ROOT=$stand_in/dev PATH=$stand_in/bin:$PATH setsid "$script" --exe "$E2E_UPDATER" --device "$serial" \
    --prefix "$WINEPREFIX" --allow-root >"$out" 2>&1 &
  updater_pid=$!
  script_says "Running the updater" 120 || return 1
  timing "prefix staged by the script"
  ui_start
  accept_licence || return 1
  read_page main
  check_text "main: the printer is found" "$reply" IDC_MESSAGE "Click [Transfer] to start transferring the firmware for update."
  sockets=$(cat "$WINEPREFIX/wineserver")

  echo "-- our printer unplugged, another maker's takes its node"
  rm "$node" && unplug 1-3
  fake_printer "$stand_in/sys" 1-4 04b8 0005 "another maker's printer" "" 0:lp3
  printer_start p2 --at "$stand_in/pty-p2" || return 1
  ln -s "$stand_in/pty-p2" "$node"
  script_says "its node now belongs to another device"
  ui press main 1 || fail "press Transfer: $reply"
  # The press is posted: the page changes once the updater has looked.
  local deadline=$((SECONDS + 10)) retry='.controls[] | select(.id == 1) | .text == "Retry"'
  until { ui read main && jq -e "$retry" <<<"$reply"; } >/dev/null || ((SECONDS > deadline)); do sleep 0.1; done
  not_found_shown
  printers_idle p2

  echo "-- ours is back; signals during the transfer"
  rm -f "$node" && unplug 1-4
  fake_printer "$stand_in/sys" 1-3 7c5e 4a86 "prismatone 3350N" "$serial" 0:lp3
  ln -s "$stand_in/pty-p1" "$node"
  script_says "The printer is back at $node" || return 1
  ui press main 1 || fail "press Retry: $reply"
  wait_page progress 30 || { fail "no progress page: $reply"; return 1; }
  kill -TERM "$updater_pid" && kill -INT -- "-$updater_pid" && kill -QUIT -- "-$updater_pid" &&
    kill -HUP -- "-$updater_pid"
  watch_transfer 120
  check "progress: ends at 100 %" '.[-1].percent == "100 %"' "$progress_samples"
  complete_shown || return 1
  holds "the script said once that the update goes on" test "$(grep -c "is still running" "$out")" = 1
  exit_pressed
  printer_stop p1
  check_image_received

  holds "the script emptied the folder given, and left it" test -d "$WINEPREFIX" -a -z "$(ls -A "$WINEPREFIX")"
  holds "... and removed Wine's socket folder of that prefix" test -n "$sockets" -a ! -e "/tmp/$sockets"
  holds "nothing was put in the user's home" test -z "$(ls -A "$stand_in/home")"
  holds "the script said which printer it used" grep -qF "Found it: $node." "$out"
  holds "Wine ran under systemd-inhibit, sleep and shutdown blocked" grep -qE -- \
    "--what=([a-z-]+:)*(sleep:([a-z-]+:)*shutdown|shutdown:([a-z-]+:)*sleep)[:a-z-]* --mode=block .* wine $E2E_UPDATER\$" \
    "$stand_in/inhibit.txt"
}

# Quiet runs of the copy (the files a host needs) that end before the updater,
# or without its outcome line: each with its code, not the status of a failed
# step (1, "licence not accepted") or the low byte of a crash (5).
quiet_codes() {
  local node=$stand_in/dev/usb/lp3 template=$stand_in/cache/firmware-updater/prefix-template c name
  local environment options expected text status
  rm -f "$node" && : >"$node"
  # A template of this Wine, but with nothing in it to copy.
  mkdir -p "$template" "$stand_in/others" "$stand_in/open"
  echo "$(wine --version) $WINE_TEMPLATE_RECIPE" >"$template/.e2e-template"
  chown nobody "$stand_in/others" && chmod 777 "$stand_in/open"
  # case | environment | options | exit | what it said
  for c in "not an updater||--exe $stand_in/copy/scripts/lib/wine.sh|7|is not an updater" \
    "the template is not made|XDG_CACHE_HOME=$stand_in/dev/usb/lp0||6|could not make the template" \
    "the prefix is not made|XDG_CACHE_HOME=$stand_in/cache||6|could not make the Wine prefix" \
    "an empty --prefix of another user's||--prefix $stand_in/others|6|is not yours" \
    "an empty --prefix others may write to||--prefix $stand_in/open|6|others may write to it" \
    "the updater ends without its outcome line|INHIBIT_EXIT=5||3|without saying its outcome"; do
    IFS='|' read -r name environment options expected text <<<"$c"
    # shellcheck disable=SC2086  # words; bytecode is the script's own care, whatever Python was told
    env -u PYTHONDONTWRITEBYTECODE HOME="$stand_in/home" XDG_CACHE_HOME="$E2E_BUILD_DIR/user-cache" PATH="$stand_in/bin:$PATH" \
      UPDATE_SYSFS_ROOT="$stand_in/sys" UPDATE_DEV_ROOT="$stand_in/dev" $environment timeout -k 5 200 \
      "$stand_in/copy/scripts/update-from-linux" --quiet --accept-licence --allow-root --device "$serial" \
      --exe "$stand_in/copy/updater.exe" $options >"$out" 2>&1
    status=$?
    if ((status == expected)) && grep -qF -- "$text" "$out"; then pass "quiet, $name: exit $expected, said so"
    else fail "quiet, $name: exit $status, not $expected, or no \"$text\" in: $(cat "$out")"; fi
  done
  holds "the checkout was only read, as root and as a user who may not write it" \
    test -z "$(find "$stand_in/copy" -newer "$stand_in/copied")"
}

steps() {
  scenario=linux-printer
  echo "== $scenario"
  trap 'scenario_cleanup; rm -rf "$stand_in"' EXIT
  # Under /tmp, so that the user without rights below can read it.
  stand_in=$(mktemp -d /tmp/e2e-linux-printer.XXXXXX)
  chmod 755 "$stand_in"
  out=$E2E_LOGS/$scenario-script.txt
  e2e_extract_image "$stand_in/firmware-from-exe.bin" || return 1
  mkdir -p "$stand_in/bin" "$stand_in/dev/usb" "$stand_in/copy" "$E2E_BUILD_DIR/runs"
  fake_printer "$stand_in/sys" 1-1 7c5e 4a83 "prismatone 3350 (composite)" "" 0:lp0 1:lp1
  fake_printer "$stand_in/sys" 1-2 04b8 0005 "another maker's printer" "" 0:lp2
  touch "$stand_in"/dev/usb/lp{0,1,2}
  # The files the README says a Linux host needs, from the checkout of the script.
  (cd "$(dirname "$script")/.." && cp --parents scripts/update-from-linux scripts/lib/common.sh \
    scripts/lib/wine.sh res/tools/exe_resources.py "$stand_in/copy/")
  cp "$E2E_UPDATER" "$stand_in/copy/updater.exe"
  chmod -R a+rX "$stand_in/copy"
  touch "$stand_in/copied"
  # A systemd-inhibit that records what it was asked to block and runs the
  # command; INHIBIT_EXIT ends it at once instead, as a crash would.
  install -m 755 /dev/stdin "$stand_in/bin/systemd-inhibit" <<EOF
#!/bin/sh
printf '%s\\n' "\$*" >>"$stand_in/inhibit.txt"
while [ "\${1#--}" != "\$1" ]; do shift; done
[ -z "\${INHIBIT_EXIT:-}" ] || [ "\$1" = true ] || exit "\$INHIBIT_EXIT"
exec "\$@"
EOF
  finding
  real_run
  quiet_codes
}

steps
# A script still waiting for its updater (a step failed) ends with it.
[[ -z $updater_pid ]] || wine_stop_all
scenario_end
