#!/bin/bash
# e2e: no-display (deployment agents run the batch files with no desktop)
# deploy/windows under Wine's own cmd.exe and reg.exe (cmd /c, as an agent runs
# them), beside the updater under its release name, filled in by fill-in as a
# release does. install.cmd ends with the updater's code (2 no printer, 3 one
# that vanishes part-way, 0), the registry value is there after 0 only, the log
# in %ProgramData% holds each run's lines with their times; requirement.cmd: 2
# without the printer, 0 with it, not a byte written to it or read from it.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"
[[ -z ${DISPLAY:-} ]] || { echo "deploy-windows: DISPLAY is set; e2e/run-tests runs this with none"; exit 1; }
deploy=${E2E_TOOLS_TREE:-$E2E_SOURCE_DIR}/deploy

maker=$(cmake_cache_value "${E2E_UPDATER%/*}" UPDATER_MAKER)
model=$(cmake_cache_value "${E2E_UPDATER%/*}" UPDATER_MODEL_NAME)
version=$(cmake_cache_value "${E2E_UPDATER%/*}" UPDATER_VERSION_TEXT)
# As scripts/release names the executable.
updater=$(printf '%s-%s' "$model" "$version" | sed -E 's/[^A-Za-z0-9._]+/-/g; s/^-+|-+$//g').exe
key="HKLM\\SOFTWARE\\$maker\\PrinterFirmware"
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} '

# batch NAME FILE: C:\pkg\FILE run by Wine's cmd.exe; its code in $status.
batch() {
  local start
  start=$(now)
  timeout 180 wine cmd /c "C:\\pkg\\$2" >"$E2E_LOGS/$scenario-$1.out" 2>"$E2E_LOGS/$scenario-$1.err"
  status=$?
  echo "  $1: $2 -> exit $status in $(seconds_since "$start") s"
  tr -d '\r' <"$E2E_LOGS/$scenario-$1.out" | sed 's/^/    | /'
}

# recorded: the version install.cmd recorded for the model, empty when none.
recorded() {
  timeout 120 wine reg query "$key" /v "$model" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$model *REG_SZ *//p" | jq -Rs 'rtrimstr("\n")'
}

steps() {
  scenario_begin deploy-windows || return 1
  local pkg=$WINEPREFIX/drive_c/pkg log=$WINEPREFIX/drive_c/ProgramData/$maker/PrinterFirmware/update.log
  mkdir -p "$pkg" && cp "$E2E_UPDATER" "$pkg/$updater" || return 1
  "$deploy/windows/fill-in" "$pkg" "$updater" "$maker" "$model" "$version" || { fail "fill-in"; return 1; }

  batch requirement-absent requirement.cmd
  check "requirement.cmd without the printer: 2" '. == 2' "$status"
  batch absent install.cmd
  check "install.cmd without the printer: 2, the updater's code" '. == 2' "$status"
  check "... nothing recorded" '. == ""' "$(recorded)"

  printer_register p1 || return 1
  printer_start p1 --disconnect-after 400000 || return 1
  batch vanishes install.cmd
  check "install.cmd, the printer vanishing part-way: 3" '. == 3' "$status"
  printer_cut_short disconnect 400000 p1
  check "... nothing recorded" '. == ""' "$(recorded)"

  printer_start p1 || return 1
  batch requirement requirement.cmd
  check "requirement.cmd with the printer: 0" '. == 0' "$status"
  printer_stop p1
  check "... not a byte written to the printer or read from it" \
    '.writes == [] and .reads == [] and .bytesReceived == 0 and .bytesSent == 0' "$record"

  printer_start p1 || return 1
  batch complete install.cmd
  check "install.cmd with the printer: 0" '. == 0' "$status"
  printer_stop p1
  check_image_received
  check "... $version recorded under $key as \"$model\"" '. == $v' "$(recorded)" --arg v "$version"

  sed 's/^/    | /' "$log"
  check "the log: the three runs' outcomes, in order, each line after its time" '. == $t' \
    "$(grep -E "^${stamp}[^"$'\r'"]*"$'\r$' "$log" | grep -o 'Exit code [0-9]*\.' | jq -Rs .)" \
    --arg t $'Exit code 2.\nExit code 3.\nExit code 0.\n'
  if cat "$E2E_LOGS/$scenario"-{absent,vanishes,complete}.out | cmp -s - <(sed -E "s/^$stamp//" "$log"); then
    pass "... and every line the three wrote on standard output"
  else
    fail "... not the lines the three wrote on standard output"
  fi
}

steps
scenario_end
