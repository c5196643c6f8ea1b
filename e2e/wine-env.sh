# shellcheck shell=bash
# The Wine environment of one end-to-end run. Sourced by the e2e scripts, which
# must end with `wineserver -k` in an exit trap (e2e_stop_wine does it).
#
#   e2e_prefix [NAME]                   a fresh prefix for this run, as WINEPREFIX
#   e2e_prefix_at DIR                   the same at any path (what is there goes first)
#   e2e_prefix_into DIR                 the same in an empty folder, touching nothing else
#   e2e_register_printer INSTANCE HWID... [--port N] [--device-id ID]
#   e2e_register_printer INSTANCE --device-id ID [--port N]
#                                       makes setupapi list a printer-class device
#                                       (with no hardware id at all in the second form)
#   e2e_device_link INSTANCE HWID       the dosdevices path its pty link must have
#   e2e_stop_wine                       ends the wineservers of every prefix made here
#   e2e_discard_prefix                  removes this run's prefix

E2E_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
E2E_BUILD_DIR=${E2E_BUILD_DIR:-$E2E_SOURCE_DIR/build/e2e}
E2E_TEMPLATE=$E2E_BUILD_DIR/prefix-template
# The Windows-side tools, built by `cmake --build --preset windows-e2e`
# (e2e/CMakeLists.txt): the page driver, the port-layer tests, the benchmarks'
# raw writer and image check, and the test driver.
E2E_TOOLS=${E2E_TOOLS:-$E2E_SOURCE_DIR/build/windows/e2e}
E2E_UIDRIVER=$E2E_TOOLS/uidriver.exe
E2E_PORT_TESTS=${E2E_PORT_TESTS:-$E2E_TOOLS/port-tests.exe}
# shellcheck disable=SC2034  # the benchmarks' scenarios run them
E2E_RAW_WRITE=$E2E_TOOLS/raw-write.exe
# shellcheck disable=SC2034
E2E_HASH_BENCH=$E2E_TOOLS/hash-bench.exe
E2E_DRIVER=$E2E_TOOLS/vprinterdrv.sys
# The printer-class interface (GUID_DEVINTERFACE_USBPRINT) and the printer setup class.
E2E_USBPRINT_GUID='{28d78fad-5a12-11d1-ae5b-0000f803a8c2}'
E2E_PRINTER_CLASS_GUID='{4d36e979-e325-11ce-bfc1-08002be10318}'

export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono, no Gecko: there is no network to fetch them from, and nothing needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="

e2e_now() { date +%s.%N; }
# Seconds since $1, with millisecond precision.
e2e_since() { awk -v a="$1" -v b="$(e2e_now)" 'BEGIN { printf "%.3f", b - a }'; }

# What the template holds beyond wineboot's prefix; a change here makes it anew.
E2E_TEMPLATE_RECIPE="managed=N fontlink=tahoma-ipag marlett tahoma-regular"

# The template prefix is made once (wineboot costs 10 to 20 s) and reused while
# the Wine version and the recipe stay the same; every run works in a copy of it.
e2e_make_template() {
  local stamp=$E2E_TEMPLATE/.e2e-template version
  version="$(wine --version) $E2E_TEMPLATE_RECIPE"
  [[ -f $stamp && $(cat "$stamp") == "$version" ]] && return 0
  mkdir -p "$E2E_BUILD_DIR"
  (
    # Two runs at once build it once.
    flock -w 300 9 || { echo "e2e: no lock on the template prefix" >&2; exit 1; }
    [[ -f $stamp && $(cat "$stamp") == "$version" ]] && exit 0
    local new=$E2E_TEMPLATE.new.$$
    rm -rf "$new" "$E2E_TEMPLATE"
    # No display: wineboot needs none, and the template carries no window state.
    (
      export WINEPREFIX=$new
      unset DISPLAY
      trap 'wineserver -k 2>/dev/null || true' EXIT
      timeout 300 wineboot -i || { echo "e2e: wineboot -i failed" >&2; exit 1; }
      # Without a window manager (Xvfb has none) Wine waits 2 s for one whenever a
      # managed window is hidden: every EndDialog would come 2 s late.
      timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        >/dev/null || { echo "e2e: reg add Managed failed" >&2; exit 1; }
      # Tahoma, the pages' font, has no Japanese glyphs: Windows links it to a
      # Japanese font, so that Japanese texts do not draw as empty boxes.
      timeout 120 wine reg add \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v Tahoma /t REG_MULTI_SZ /d 'ipag.ttf,IPAGothic' /f >/dev/null ||
        { echo "e2e: reg add FontLink failed" >&2; exit 1; }
      # The caption's close box is a Marlett glyph, and the pages name Tahoma;
      # this Wine does not find Debian's copies where they lie, and draws the
      # letter "r" for the box and the linked Japanese font for every text.
      # Not fonts-wine's Tahoma Bold: at the caption's size it draws "V" as "¥";
      # Wine's own emboldening of Tahoma draws the caption right.
      mkdir -p "$new/drive_c/windows/Fonts" &&
        cp /usr/share/wine/fonts/{marlett,tahoma}.ttf "$new/drive_c/windows/Fonts/" ||
        { echo "e2e: no Marlett or Tahoma (fonts-wine)" >&2; exit 1; }
      # wineserver writes the registry files when it exits.
      timeout 120 wineserver -w || true
    ) || exit 1
    echo "$version" >"$new/.e2e-template"
    mv "$new" "$E2E_TEMPLATE"
  ) 9>"$E2E_BUILD_DIR/prefix-template.lock"
}

# A fresh copy of the template as this run's WINEPREFIX, under build/e2e/runs/.
e2e_prefix() {
  mkdir -p "$E2E_BUILD_DIR/runs"
  e2e_prefix_at "$E2E_BUILD_DIR/runs/${1:-run}"
}

# The same at any path. A prefix left there by an earlier run (it may still
# have a wineserver) is ended and removed first: only for the tests' own folders.
e2e_prefix_at() {
  local prefix=$1
  if [[ -d $prefix ]]; then
    WINEPREFIX=$prefix timeout 30 wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
  fi
  mkdir -p "$prefix" && e2e_prefix_into "$prefix"
}

# A copy of the template into DIR, a folder that exists and is empty; nothing
# there is ended or removed. The system's programs and libraries, nine tenths
# of the prefix, are linked rather than copied: Wine only reads them, and a
# prefix is removed by unlinking. What Wine writes (the registry, the users'
# folders) is copied. Where links cannot be made (another file system), the
# folder is copied after all.
e2e_prefix_into() {
  local prefix=$1 system=$1/drive_c/windows/system32
  e2e_make_template || return 1
  tar -C "$E2E_TEMPLATE" --exclude=./drive_c/windows/system32 -cf - . | tar -C "$prefix" -xf - &&
    { cp -al "$E2E_TEMPLATE/drive_c/windows/system32" "$prefix/drive_c/windows/" 2>/dev/null ||
      { rm -rf "$system" && cp -a "$E2E_TEMPLATE/drive_c/windows/system32" "$prefix/drive_c/windows/"; }; } ||
    return 1
  export WINEPREFIX=$prefix
  E2E_PREFIXES+=("$prefix")
}

# Every prefix this script made: its wineserver ends, and with it every program
# of that prefix.
E2E_PREFIXES=()
e2e_stop_wine() {
  local prefix
  for prefix in "${E2E_PREFIXES[@]}"; do
    [[ -d $prefix ]] && WINEPREFIX=$prefix timeout 30 wineserver -k 2>/dev/null
  done
  return 0
}

# Removes this run's prefix (600 MB) once its wineserver has ended; kept for a
# look after a failure.
e2e_discard_prefix() {
  [[ -n ${WINEPREFIX:-} && $WINEPREFIX == "$E2E_BUILD_DIR"/runs/* ]] || return 0
  timeout 30 wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}

# USB\VID_7C5E&PID_4A86&REV_0100 -> USB\VID_7C5E&PID_4A86: the device id of the
# enumerator key, without the revision.
e2e_device_id_of() { sed -E 's/&REV_[0-9A-Fa-f]{4}//' <<<"$1"; }

# "##?#USB#VID_7C5E&PID_4A86#<instance>#{guid}": the interface's key name.
e2e_interface_key_of() {
  local device_id=$1 instance=$2
  printf '##?#%s#%s#%s' "${device_id//\\/#}" "$instance" "$E2E_USBPRINT_GUID"
}

# UTF-16LE bytes of a REG_MULTI_SZ as .reg hex: each string, its NUL, a final NUL.
e2e_multi_sz_hex() {
  { printf '%s\0' "$@"; printf '\0'; } | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 |
    tr -s ' \n' ',' | sed -e 's/^,//' -e 's/,$//'
}

# The entries that make setupapi list a printer-class device with these hardware
# ids: the enumerator key (ClassGUID, HardwareID), the interface key with its
# DeviceInstance, Control\Linked (what DIGCF_PRESENT tests) and, with --port, the
# port number. Imported with regedit from a UTF-16LE file: from an 8-bit file a
# REG_MULTI_SZ would be stored as ANSI bytes.
e2e_register_printer() {
  local instance=$1
  shift
  local hwids=() port="" device_id=""
  while (($#)); do
    case $1 in
      --port) port=$2; shift 2 ;;
      --device-id) device_id=$2; shift 2 ;;
      *) hwids+=("$1"); shift ;;
    esac
  done
  if [[ -z $instance || (${#hwids[@]} -eq 0 && -z $device_id) ]]; then
    echo "usage: e2e_register_printer INSTANCE HWID... [--port N] [--device-id ID]" >&2
    return 2
  fi
  [[ -n $device_id ]] || device_id=$(e2e_device_id_of "${hwids[0]}")
  local enum_key="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\$device_id\\$instance"
  local iface_key
  iface_key="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\DeviceClasses\\$E2E_USBPRINT_GUID\\$(e2e_interface_key_of "$device_id" "$instance")"
  local instance_value="$device_id\\$instance"
  local reg=$WINEPREFIX/e2e-printer-$instance.reg
  {
    printf '\xff\xfe'
    {
      printf 'Windows Registry Editor Version 5.00\r\n\r\n'
      printf '[%s]\r\n' "$enum_key"
      printf '"ClassGUID"="%s"\r\n' "$E2E_PRINTER_CLASS_GUID"
      ((${#hwids[@]})) &&
        printf '"HardwareID"=hex(7):%s\r\n' "$(e2e_multi_sz_hex "${hwids[@]}")"
      printf '\r\n'
      printf '[%s]\r\n' "$iface_key"
      printf '"DeviceInstance"="%s"\r\n\r\n' "${instance_value//\\/\\\\}"
      printf '[%s\\#\\Control]\r\n' "$iface_key"
      printf '"Linked"=dword:00000001\r\n\r\n'
      if [[ -n $port ]]; then
        printf '[%s\\#\\Device Parameters]\r\n' "$iface_key"
        printf '"Port Number"=dword:%08x\r\n\r\n' "$port"
      fi
    } | iconv -f UTF-8 -t UTF-16LE
  } >"$reg"
  # Z: is the root of the Linux file system in every prefix.
  timeout 120 wine regedit /S "Z:${reg//\//\\}"
}

# The path under dosdevices that CreateFileA("\\?\usb#vid_...#<instance>#{guid}")
# reaches: setupapi hands the program the lower-cased interface path.
e2e_device_link() {
  local instance=$1 hwid=$2 device_id name
  device_id=$(e2e_device_id_of "$hwid")
  name=$(printf '%s#%s#%s' "${device_id//\\/#}" "$instance" "$E2E_USBPRINT_GUID")
  printf '%s/dosdevices/%s\n' "$WINEPREFIX" "${name,,}"
}

# One uidriver command: its JSON line on stdout, its exit code as status.
e2e_ui() { timeout 120 wine "$E2E_UIDRIVER" ${E2E_CAPTION:+--caption "$E2E_CAPTION"} "$@"; }

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

# A .reg text (UTF-16LE with its mark, as regedit wants it) from stdin, imported.
e2e_import_reg() {
  local reg=$WINEPREFIX/e2e-$1.reg
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$reg"
  timeout 120 wine regedit /S "Z:${reg//\//\\}"
}

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
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "$key"
    printf '"Method"=%s\r\n' "$(e2e_reg_text "$method")"
    printf '"Link"=%s\r\n' "$(e2e_reg_text "$link")"
    printf '"Pty"=%s\r\n' "$(e2e_reg_text "$(e2e_nt_path "$(e2e_driver_pty "$name")")")"
    printf '"Record"=%s\r\n' "$(e2e_reg_text "$(e2e_nt_path "$(e2e_driver_record "$name")")")"
    printf '"VendorId"=dword:%08x\r\n"ProductId"=dword:%08x\r\n' "$((16#$vid))" "$((16#$pid))"
    [[ -n $pipes ]] && printf '"Pipes"=%s\r\n' "$(e2e_reg_text "$pipes")"
    [[ -n $reply ]] && printf '"CheckReply"=hex:%s\r\n' "$(sed -E 's/(..)/\1,/g; s/,$//' <<<"$reply")"
    [[ -n $empty_reads ]] && printf '"EmptyReadsWhenGone"=dword:00000001\r\n'
    [[ -n $id ]] && printf '"Id1284"=hex:%s\r\n' \
      "$(printf '%s' "$id" | od -An -v -tx1 | tr -s ' \n' ',' | sed -e 's/^,//' -e 's/,$//')"
    [[ -n $id_never ]] && printf '"Id1284NeverAnswers"=dword:00000001\r\n'
    printf '\r\n'
  } | e2e_import_reg "driver-printer-$name"
}

e2e_driver_start() {
  [[ -f $E2E_DRIVER ]] || { echo "e2e: no test driver: cmake --build --preset windows-e2e" >&2; return 1; }
  # Its own file, never written through a link the prefix shares with the template.
  cp --remove-destination "$E2E_DRIVER" "$WINEPREFIX/drive_c/windows/system32/drivers/$E2E_DRIVER_SERVICE.sys"
  local key="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\$E2E_DRIVER_SERVICE"
  # A kernel driver (Type 1) started with the system (Start 2); a relative image
  # path does not load.
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "$key"
    printf '"Type"=dword:00000001\r\n"Start"=dword:00000002\r\n"ErrorControl"=dword:00000001\r\n'
    printf '"ImagePath"=%s\r\n\r\n' \
      "$(e2e_reg_text "C:\\windows\\system32\\drivers\\$E2E_DRIVER_SERVICE.sys")"
  } | e2e_import_reg driver-service || return 1
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
