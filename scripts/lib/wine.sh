# shellcheck shell=bash
# Wine prefixes for the 32-bit updater, and a USB printer listed in one as
# Windows lists it. Sourced by scripts/update-from-linux and by the end-to-end
# harness; it needs Wine, and no other file of the checkout.
#
#   WINE_TEMPLATE                       the template prefix's folder: set it first
#   wine_make_template                  makes the template, once for this Wine
#   wine_prefix_into DIR                a copy of it in the empty folder DIR, as WINEPREFIX
#   wine_stop_all                       ends the wineservers of every prefix made here
#   wine_import_reg NAME                imports the .reg keys and values on standard input
#   wine_register_printer INSTANCE [HWID...] [--port N] [--device-id ID]
#                                       makes setupapi list a printer-class device (with
#                                       no hardware id at all when only --device-id is given)
#   wine_device_link INSTANCE HWID      the dosdevices path the updater opens for it

export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono, no Gecko: there is no network to fetch them from, and nothing needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="

# The printer-class interface (GUID_DEVINTERFACE_USBPRINT) and the printer setup class.
WINE_USBPRINT_GUID='{28d78fad-5a12-11d1-ae5b-0000f803a8c2}'
WINE_PRINTER_CLASS_GUID='{4d36e979-e325-11ce-bfc1-08002be10318}'

# What the template holds beyond wineboot's prefix; a change here makes it anew.
# Its stamp keeps its first name, so that templates made before stay good.
WINE_TEMPLATE_RECIPE="managed=N fontlink=tahoma-ipag marlett tahoma-regular"

# The template prefix is made once (wineboot costs 10 to 20 s) and reused while
# the Wine version and the recipe stay the same; every run works in a copy of it.
wine_make_template() {
  local stamp=$WINE_TEMPLATE/.e2e-template version
  version="$(wine --version) $WINE_TEMPLATE_RECIPE"
  [[ -f $stamp && $(cat "$stamp") == "$version" ]] && return 0
  mkdir -p "$(dirname "$WINE_TEMPLATE")" || return 1
  (
    # Two runs at once build it once.
    flock -w 300 9 || { echo "wine: no lock on the template prefix" >&2; exit 1; }
    [[ -f $stamp && $(cat "$stamp") == "$version" ]] && exit 0
    local new=$WINE_TEMPLATE.new.$$
    rm -rf "$new" "$WINE_TEMPLATE"
    # No display: wineboot needs none, and the template carries no window state.
    (
      export WINEPREFIX=$new
      unset DISPLAY
      trap 'wineserver -k 2>/dev/null || true' EXIT
      timeout 300 wineboot -i || { echo "wine: wineboot -i failed" >&2; exit 1; }
      # Without a window manager (Xvfb has none) Wine waits 2 s for one whenever a
      # managed window is hidden: every EndDialog would come 2 s late.
      timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        >/dev/null || { echo "wine: reg add Managed failed" >&2; exit 1; }
      # Tahoma, the pages' font, has no Japanese glyphs: Windows links it to a
      # Japanese font, so that Japanese texts do not draw as empty boxes.
      timeout 120 wine reg add \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v Tahoma /t REG_MULTI_SZ /d 'ipag.ttf,IPAGothic' /f >/dev/null ||
        { echo "wine: reg add FontLink failed" >&2; exit 1; }
      # The caption's close box is a Marlett glyph, and the pages name Tahoma;
      # this Wine does not find Debian's copies where they lie, and draws the
      # letter "r" for the box and the linked Japanese font for every text.
      # Not fonts-wine's Tahoma Bold: at the caption's size it draws "V" as "¥";
      # Wine's own emboldening of Tahoma draws the caption right.
      mkdir -p "$new/drive_c/windows/Fonts" &&
        cp /usr/share/wine/fonts/{marlett,tahoma}.ttf "$new/drive_c/windows/Fonts/" ||
        { echo "wine: no Marlett or Tahoma (fonts-wine)" >&2; exit 1; }
      # wineserver writes the registry files when it exits.
      timeout 120 wineserver -w || true
    ) || exit 1
    echo "$version" >"$new/.e2e-template"
    mv "$new" "$WINE_TEMPLATE"
  ) 9>"$WINE_TEMPLATE.lock"
}

# A copy of the template into DIR, a folder that exists and is empty; nothing
# there is ended or removed. The system's programs and libraries, nine tenths
# of the prefix, are linked rather than copied: Wine only reads them, and a
# prefix is removed by unlinking. What Wine writes (the registry, the users'
# folders) is copied. Where links cannot be made (another file system), the
# folder is copied after all.
wine_prefix_into() {
  local prefix=$1 system=$1/drive_c/windows/system32
  wine_make_template || return 1
  tar -C "$WINE_TEMPLATE" --exclude=./drive_c/windows/system32 -cf - . | tar -C "$prefix" -xf - &&
    { cp -al "$WINE_TEMPLATE/drive_c/windows/system32" "$prefix/drive_c/windows/" 2>/dev/null ||
      { rm -rf "$system" && cp -a "$WINE_TEMPLATE/drive_c/windows/system32" "$prefix/drive_c/windows/"; }; } ||
    return 1
  export WINEPREFIX=$prefix
  WINE_PREFIXES+=("$prefix")
}

# Every prefix made here: its wineserver ends, and with it every program of
# that prefix.
WINE_PREFIXES=()
wine_stop_all() {
  local prefix
  for prefix in "${WINE_PREFIXES[@]}"; do
    [[ -d $prefix ]] && WINEPREFIX=$prefix timeout 30 wineserver -k 2>/dev/null
  done
  return 0
}

# The keys and values of a .reg text from stdin, imported into WINEPREFIX through
# a file of that name there: UTF-16LE with its mark, as regedit wants it (from an
# 8-bit file a REG_MULTI_SZ would be stored as ANSI bytes).
wine_import_reg() {
  local reg=$WINEPREFIX/import-$1.reg
  { printf '\xff\xfe'; { printf 'Windows Registry Editor Version 5.00\r\n\r\n'; cat; } |
    iconv -f UTF-8 -t UTF-16LE; } >"$reg"
  # Z: is the root of the Linux file system in every prefix.
  timeout 120 wine regedit /S "Z:${reg//\//\\}"
}

# USB\VID_7C5E&PID_4A86&REV_0100 -> USB\VID_7C5E&PID_4A86: the device id of the
# enumerator key, without the revision.
wine_device_id() { sed -E 's/&REV_[0-9A-Fa-f]{4}//' <<<"$1"; }

# "##?#USB#VID_7C5E&PID_4A86#<instance>#{guid}": the interface's key name.
wine_interface_key() { printf '##?#%s#%s#%s' "${1//\\/#}" "$2" "$WINE_USBPRINT_GUID"; }

# The bytes on standard input as .reg hex ("4d,44,..."), and those of a
# REG_MULTI_SZ in UTF-16LE: each string, its NUL, a final NUL.
wine_reg_hex() { od -An -v -tx1 | tr -s ' \n' ',' | sed -e 's/^,//' -e 's/,$//'; }
wine_multi_sz_hex() { { printf '%s\0' "$@"; printf '\0'; } | iconv -f UTF-8 -t UTF-16LE | wine_reg_hex; }

# The entries that make setupapi list a printer-class device with these hardware
# ids: the enumerator key (ClassGUID, HardwareID), the interface key with its
# DeviceInstance, Control\Linked (what DIGCF_PRESENT tests) and, with --port, the
# port number.
wine_register_printer() {
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
    echo "usage: wine_register_printer INSTANCE HWID... [--port N] [--device-id ID]" >&2
    return 2
  fi
  [[ -n $device_id ]] || device_id=$(wine_device_id "${hwids[0]}")
  local enum_key="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\$device_id\\$instance"
  local iface_key
  iface_key="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\DeviceClasses\\$WINE_USBPRINT_GUID\\$(wine_interface_key "$device_id" "$instance")"
  local instance_value="$device_id\\$instance"
  {
    printf '[%s]\r\n' "$enum_key"
    printf '"ClassGUID"="%s"\r\n' "$WINE_PRINTER_CLASS_GUID"
    ((${#hwids[@]})) &&
      printf '"HardwareID"=hex(7):%s\r\n' "$(wine_multi_sz_hex "${hwids[@]}")"
    printf '\r\n'
    printf '[%s]\r\n' "$iface_key"
    printf '"DeviceInstance"="%s"\r\n\r\n' "${instance_value//\\/\\\\}"
    printf '[%s\\#\\Control]\r\n' "$iface_key"
    printf '"Linked"=dword:00000001\r\n\r\n'
    if [[ -n $port ]]; then
      printf '[%s\\#\\Device Parameters]\r\n' "$iface_key"
      printf '"Port Number"=dword:%08x\r\n\r\n' "$port"
    fi
  } | wine_import_reg "printer-$instance"
}

# The path under dosdevices that CreateFileA("\\?\usb#vid_...#<instance>#{guid}")
# reaches: setupapi hands the program the lower-cased interface path.
wine_device_link() {
  local name
  name=$(wine_interface_key "$(wine_device_id "$2")" "$1")
  name=${name#"##?#"}
  printf '%s/dosdevices/%s\n' "$WINEPREFIX" "${name,,}"
}
