#!/bin/bash
# scripts/update-from-linux against a stand-in for a Linux machine with the
# printer plugged in: a sysfs tree of our own (another model's printer, a
# composite device whose interface 1 is a printer, and ours) and a /dev whose
# usb/lp node is the virtual printer's pseudo-terminal, which has the character
# device semantics of the kernel's usblp node. The script finds the printer,
# stages the prefix and runs the real updater; the printer checks every byte.
# Also: the updater of the composite model finds interface 1; with our printer
# unplugged the script lists what it saw; a user without rights on the node is
# told why.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

script=${E2E_UPDATE_FROM_LINUX:-$E2E_SOURCE_DIR/scripts/update-from-linux}
composite_updater=$E2E_SOURCE_DIR/build/windows-mode-switch/FirmwareUpdater.exe

# fake_printer SYSFS DEVICE VENDOR PRODUCT NAME INTERFACE:LP...: a USB device with
# printer interfaces served by usblp, as sysfs shows them.
fake_printer() {
  local sysfs=$1/bus/usb/devices device=$2 vendor=$3 product=$4 name=$5 pair
  shift 5
  mkdir -p "$sysfs/$device"
  echo "$vendor" >"$sysfs/$device/idVendor"
  echo "$product" >"$sysfs/$device/idProduct"
  echo 0100 >"$sysfs/$device/bcdDevice"
  echo "$name" >"$sysfs/$device/product"
  for pair in "$@"; do
    local iface=$sysfs/$device:1.${pair%%:*}
    mkdir -p "$iface/usbmisc/${pair#*:}"
    printf '%02x\n' "${pair%%:*}" >"$iface/bInterfaceNumber"
    echo 07 >"$iface/bInterfaceClass"
  done
}

# run_script OUTPUT ARGS...: the script against the stand-in; its status.
run_script() {
  local out=$1
  shift
  UPDATE_SYSFS_ROOT=$stand_in/sys UPDATE_DEV_ROOT=$stand_in/dev "$script" "$@" >"$out" 2>&1
}

steps() {
  scenario=linux-printer
  echo "== $scenario"
  trap 'scenario_cleanup; rm -rf "$stand_in"' EXIT
  # Under /tmp, so that the user without rights below can read it.
  stand_in=$(mktemp -d /tmp/e2e-linux-printer.XXXXXX)
  chmod 755 "$stand_in"
  E2E_IMAGE=$stand_in/firmware-from-exe.bin
  e2e_extract_image "$E2E_IMAGE" || { fail "no image in $E2E_UPDATER"; return 1; }
  mkdir -p "$stand_in/dev/usb"
  fake_printer "$stand_in/sys" 1-1 7c5e 4a83 "prismatone 3350 (composite)" 0:lp0 1:lp1
  fake_printer "$stand_in/sys" 1-2 04b8 0005 "another maker's printer" 0:lp2
  : >"$stand_in/dev/usb/lp0" >"$stand_in/dev/usb/lp1" >"$stand_in/dev/usb/lp2"

  local out=$E2E_LOGS/$scenario-script.txt
  run_script "$out" --find-only --exe "$E2E_UPDATER"
  check "unplugged: the script fails" '. != 0' "$?"
  check "unplugged: it lists the printers it saw" \
    'contains("7c5e:4a83  interface 00") and contains("7c5e:4a83  interface 01") and
     contains("04b8:0005  interface 00") and contains("another maker")' "$(jq -Rs . <"$out")"
  run_script "$out" --find-only --exe "$composite_updater"
  check "composite model: interface 1's node is found" 'contains("Found it: \($d)/usb/lp1.")' \
    "$(jq -Rs . <"$out")" --arg d "$stand_in/dev"

  fake_printer "$stand_in/sys" 1-3 7c5e 4a86 "prismatone 3350N" 0:lp3
  printer_start p1 --at "$stand_in/dev/usb/lp3" --bytes-per-second 1000000 || return 1
  # As the kernel makes usblp's nodes: group lp may read and write.
  chgrp lp "$(readlink -f "$stand_in/dev/usb/lp3")" && chmod 660 "$(readlink -f "$stand_in/dev/usb/lp3")"
  # A user with no rights on the node, with copies of what the script needs that
  # such a user can read.
  mkdir -p "$stand_in/copy/scripts" "$stand_in/copy/e2e" "$stand_in/copy/res/tools"
  cp "$script" "$stand_in/copy/scripts/"
  cp "$E2E_SOURCE_DIR/e2e/wine-env.sh" "$stand_in/copy/e2e/"
  cp "$E2E_SOURCE_DIR/res/tools/exe_resources.py" "$stand_in/copy/res/tools/"
  cp "$E2E_UPDATER" "$stand_in/copy/updater.exe"
  chmod -R a+rX "$stand_in/copy"
  UPDATE_SYSFS_ROOT=$stand_in/sys UPDATE_DEV_ROOT=$stand_in/dev \
    setpriv --reuid=nobody --regid=nogroup --clear-groups \
    "$stand_in/copy/scripts/update-from-linux" --find-only --exe "$stand_in/copy/updater.exe" \
    >"$out" 2>&1
  check "no rights: the script fails" '. != 0' "$?"
  check "no rights: it names the node, its group and the cure" \
    'contains("You (nobody) may not read and write \($d)/usb/lp3") and
     contains("group lp, with mode 660") and contains("You are not in group lp") and
     contains("usermod -aG lp nobody")' \
    "$(jq -Rs . <"$out")" --arg d "$stand_in/dev"
  timing "finding the printer: four cases"

  # The real thing: the script stages a prefix of its own and runs the updater.
  export WINEPREFIX=$E2E_BUILD_DIR/runs/$scenario
  E2E_PREFIXES+=("$WINEPREFIX")
  run_script "$out" --exe "$E2E_UPDATER" --prefix "$WINEPREFIX" &
  updater_pid=$!
  local deadline=$((SECONDS + 120))
  until grep -q '^Running the updater' "$out" 2>/dev/null; do
    kill -0 "$updater_pid" 2>/dev/null || { fail "the script ended early: $(cat "$out")"; return 1; }
    ((SECONDS < deadline)) || { fail "the script did not start the updater"; return 1; }
    sleep 0.1
  done
  timing "prefix staged by the script"
  ui_start
  accept_licence || return 1
  transfer_completes
  check "the script removed its prefix" '. == false' "$([[ -e $WINEPREFIX ]] && echo true || echo false)"
  check "the script said which printer it used" \
    'contains("Found it: \($d)/usb/lp3.")' "$(jq -Rs . <"$out")" --arg d "$stand_in/dev"
}

steps
scenario_end
