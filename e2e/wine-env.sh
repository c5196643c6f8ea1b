# shellcheck shell=bash
# The Wine environment of one end-to-end run: scripts/lib/wine.sh (the prefix
# and the printers Windows would list, as the user's tool makes them) and what
# only the tests need. Sourced by the e2e scripts, which must end with
# `wineserver -k` in an exit trap (wine_stop_all does it).
#
#   e2e_prefix [NAME]                   a fresh prefix for this run, as WINEPREFIX
#   e2e_discard_prefix                  removes this run's prefix

E2E_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/lib/common.sh
source "$E2E_SOURCE_DIR/scripts/lib/common.sh"
# shellcheck source=scripts/lib/wine.sh
source "$E2E_SOURCE_DIR/scripts/lib/wine.sh"
E2E_BUILD_DIR=${E2E_BUILD_DIR:-$E2E_SOURCE_DIR/build/e2e}
WINE_TEMPLATE=$E2E_BUILD_DIR/prefix-template
# The Windows-side tools, built by `cmake --build --preset windows-e2e`
# (e2e/CMakeLists.txt): the page driver, the port-layer tests, the benchmarks'
# raw writer and image check, and the test driver.
E2E_TOOLS=${E2E_TOOLS:-$E2E_SOURCE_DIR/build/windows/e2e}
# shellcheck disable=SC2034  # lib.sh runs it
E2E_UIDRIVER=$E2E_TOOLS/uidriver.exe
E2E_PORT_TESTS=${E2E_PORT_TESTS:-$E2E_TOOLS/port-tests.exe}
# shellcheck disable=SC2034  # the benchmarks' scenarios run them
E2E_RAW_WRITE=$E2E_TOOLS/raw-write.exe
# shellcheck disable=SC2034
E2E_HASH_BENCH=$E2E_TOOLS/hash-bench.exe
E2E_DRIVER=$E2E_TOOLS/vprinterdrv.sys

# A fresh copy of the template as this run's WINEPREFIX, under build/e2e/runs/. A
# prefix left there by an earlier run (it may still have a wineserver) is ended
# and removed first.
e2e_prefix() {
  local prefix=$E2E_BUILD_DIR/runs/${1:-run}
  if [[ -d $prefix ]]; then
    WINEPREFIX=$prefix timeout 30 wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
  fi
  mkdir -p "$prefix" && wine_prefix_into "$prefix"
}

# Removes this run's prefix (600 MB) once its wineserver has ended; kept for a
# look after a failure.
e2e_discard_prefix() {
  [[ -n ${WINEPREFIX:-} && $WINEPREFIX == "$E2E_BUILD_DIR"/runs/* ]] || return 0
  timeout 30 wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}

# ---- Printers served through the test driver ------------------------------------------
#
#   e2e_driver_printer NAME METHOD LINK VID PID [--pipes "0 1"] [--check-reply HEX]
#                      [--empty-reads-when-gone] [--id-1284 TEXT] [--id-1284-never-answers]
#                                       asks the driver for a printer: METHOD still-image
#                                       (LINK UsbscanN, one link per pipe) or print-class
#                                       (LINK the interface path it answers, and its IEEE
#                                       1284 id, or no answer to that request at all); its
#                                       pseudo-terminal link is e2e_driver_pty NAME
#   e2e_driver_start                    installs the driver and restarts this prefix's
#                                       wineserver so that it loads; waits until it is ready
#   e2e_driver_forget                   drops the printers asked for so far
#   e2e_driver_pty NAME, e2e_driver_record NAME   the link the printer serves, the record
#                                       the driver keeps of it (JSON)

E2E_DRIVER_SERVICE=vprinterdrv
E2E_DRIVER_PRINTERS=()

# /a/b -> \??\Z:\a\b, the NT name of a Linux path (Z: is the file system's root).
e2e_nt_path() { local path=${1//\//\\}; printf '\\??\\Z:%s' "$path"; }

e2e_driver_pty() { printf '%s/driver-%s.pty\n' "$WINEPREFIX" "$1"; }
e2e_driver_record() { printf '%s/driver-%s.json\n' "$WINEPREFIX" "$1"; }

# .reg's quoting of a text value: backslashes and quotes escaped.
e2e_reg_text() { local text=${1//\\/\\\\}; printf '"%s"' "${text//\"/\\\"}"; }

e2e_driver_printer() {
  local name=$1 method=$2 link=$3 vid=$4 pid=$5
  shift 5
  local pipes="" reply="" empty_reads="" id="" id_never=""
  while (($#)); do
    case $1 in
      --pipes) pipes=$2; shift 2 ;;
      --check-reply) reply=$2; shift 2 ;;
      --empty-reads-when-gone) empty_reads=1; shift ;;
      --id-1284) id=$2; shift 2 ;;
      --id-1284-never-answers) id_never=1; shift ;;
      *) echo "e2e_driver_printer: unknown option $1" >&2; return 2 ;;
    esac
  done
  local index=${#E2E_DRIVER_PRINTERS[@]}
  E2E_DRIVER_PRINTERS+=("$name")
  local key="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\$E2E_DRIVER_SERVICE\\Printer$index"
  {
    printf '[%s]\r\n' "$key"
    printf '"Method"=%s\r\n' "$(e2e_reg_text "$method")"
    printf '"Link"=%s\r\n' "$(e2e_reg_text "$link")"
    printf '"Pty"=%s\r\n' "$(e2e_reg_text "$(e2e_nt_path "$(e2e_driver_pty "$name")")")"
    printf '"Record"=%s\r\n' "$(e2e_reg_text "$(e2e_nt_path "$(e2e_driver_record "$name")")")"
    printf '"VendorId"=dword:%08x\r\n"ProductId"=dword:%08x\r\n' "$((16#$vid))" "$((16#$pid))"
    [[ -n $pipes ]] && printf '"Pipes"=%s\r\n' "$(e2e_reg_text "$pipes")"
    [[ -n $reply ]] && printf '"CheckReply"=hex:%s\r\n' "$(sed -E 's/(..)/\1,/g; s/,$//' <<<"$reply")"
    [[ -n $empty_reads ]] && printf '"EmptyReadsWhenGone"=dword:00000001\r\n'
    [[ -n $id ]] && printf '"Id1284"=hex:%s\r\n' "$(printf '%s' "$id" | wine_reg_hex)"
    [[ -n $id_never ]] && printf '"Id1284NeverAnswers"=dword:00000001\r\n'
    printf '\r\n'
  } | wine_import_reg "driver-printer-$name"
}

e2e_driver_start() {
  [[ -f $E2E_DRIVER ]] || { echo "e2e: no test driver: cmake --build --preset windows-e2e" >&2; return 1; }
  # Its own file, never written through a link the prefix shares with the template.
  cp --remove-destination "$E2E_DRIVER" "$WINEPREFIX/drive_c/windows/system32/drivers/$E2E_DRIVER_SERVICE.sys"
  local key="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\$E2E_DRIVER_SERVICE"
  # A kernel driver (Type 1) started with the system (Start 2); a relative image
  # path does not load.
  {
    printf '[%s]\r\n' "$key"
    printf '"Type"=dword:00000001\r\n"Start"=dword:00000002\r\n"ErrorControl"=dword:00000001\r\n'
    printf '"ImagePath"=%s\r\n\r\n' \
      "$(e2e_reg_text "C:\\windows\\system32\\drivers\\$E2E_DRIVER_SERVICE.sys")"
  } | wine_import_reg driver-service || return 1
  local name
  for name in "${E2E_DRIVER_PRINTERS[@]}"; do rm -f "$(e2e_driver_record "$name")"; done
  # The services start with the next wineserver, which then stays for the
  # scenario: without it the driver host would end with the last program.
  timeout 30 wineserver -k 2>/dev/null
  timeout 30 wineserver -w 2>/dev/null
  wineserver -p || return 1
  timeout 120 wine cmd /c exit 0 >/dev/null 2>&1
  local deadline=$((SECONDS + 30))
  for name in "${E2E_DRIVER_PRINTERS[@]}"; do
    until jq -e '.ready' "$(e2e_driver_record "$name")" >/dev/null 2>&1; do
      ((SECONDS < deadline)) || { echo "e2e: the driver did not set up printer $name" >&2; return 1; }
      sleep 0.05
    done
  done
}

# The driver's printers are dropped: the next e2e_driver_start serves only those
# asked for after this.
e2e_driver_forget() {
  timeout 120 wine reg delete "HKLM\\System\\CurrentControlSet\\Services\\$E2E_DRIVER_SERVICE" /f \
    >/dev/null 2>&1
  E2E_DRIVER_PRINTERS=()
}
