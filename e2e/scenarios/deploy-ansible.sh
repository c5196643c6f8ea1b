#!/bin/bash
# e2e: no-display (the playbook runs the updater quietly, with no display)
# deploy/ansible's playbook under ansible-core on this machine (-i localhost,
# -c local), update-from-linux on a stand-in sysfs and /dev, the real updater
# under Wine. A whole image: changed. Root without --allow-root (6): failed at
# once. A printer that vanishes part-way (3) and comes back: tried again, then
# changed. No printer (2): tried again as asked, then failed with the reason.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"
tree=${E2E_TOOLS_TREE:-$E2E_SOURCE_DIR}

# play NAME [OPTIONS]: the playbook with this scenario's variables and OPTIONS
# as its own, limited in time; its status in $status, its output in $out.
play() {
  local name=$1 start
  shift
  out=$E2E_LOGS/$scenario-$name.txt
  start=$(now)
  jq -n --arg script "$tree/scripts/update-from-linux" --arg exe "$E2E_UPDATER" \
    --arg prefix "$linux_prefix" --arg stand_in "$stand_in" --arg cache "$E2E_BUILD_DIR/user-cache" \
    --argjson options "$1" '{firmware_script: $script, firmware_exe: $exe,
      firmware_options: ($options + ["--prefix", $prefix]),
      firmware_environment: {UPDATE_SYSFS_ROOT: "\($stand_in)/sys", UPDATE_DEV_ROOT: "\($stand_in)/dev",
        HOME: "\($stand_in)/home", XDG_CACHE_HOME: $cache, WINEDEBUG: "-all"},
      firmware_retries: 2, firmware_retry_delay: 2}' >"$stand_in/vars.json"
  ANSIBLE_NOCOLOR=1 ANSIBLE_LOCAL_TEMP=$stand_in/ansible ANSIBLE_REMOTE_TEMP=$stand_in/ansible \
    timeout -k 5 900 ansible-playbook -i localhost, -c local "$tree/deploy/ansible/printer-firmware.yml" \
    -e @"$stand_in/vars.json" >"$out" 2>&1
  status=$?
  echo "  play $name -> exit $status in $(seconds_since "$start") s"
  grep -E 'RETRYING|^(changed|ok|fatal)|localhost +:' "$out" | sed 's/^/    | /'
}
# [status 0 or not, "changed failed" of the recap, attempts] of the last play.
outcome() {
  echo "[$((status == 0)), \"$(sed -nE 's/^localhost +: .*changed=([0-9]+) .*failed=([0-9]+) .*/\1 \2/p' "$out")\", \
    $(($(grep -c 'FAILED - RETRYING' "$out") + 1))]"
}

steps() {
  scenario_begin deploy-ansible || return 1
  stand_in=$(mktemp -d /tmp/e2e-deploy-ansible.XXXXXX)
  trap 'scenario_cleanup; rm -rf "$stand_in"' EXIT
  linux_prefix=$E2E_BUILD_DIR/runs/$scenario.linux
  WINE_PREFIXES+=("$linux_prefix")
  stand_in_plug "$stand_in"

  printer_start p1 --at "$stand_in/pty" || return 1
  play whole '["--allow-root"]'
  check "a whole image: changed at the first attempt" '. == [1, "1 0", 1]' "$(outcome)"
  printer_stop p1
  check_image_received

  printer_start p1 --at "$stand_in/pty" || return 1
  play root '[]'
  check "root without --allow-root: failed at once" '. == [0, "0 1", 1]' "$(outcome)"
  holds "... saying why" grep -qF 'exit code 6 (this host cannot run the updater)' "$out"
  printers_idle p1

  printer_start p1 --at "$stand_in/pty" --disconnect-after 400000 || return 1
  (
    play vanishes '["--allow-root"]'
    exit "$status"
  ) &
  local player=$! deadline=$((SECONDS + 300))
  while [[ -e $stand_in/pty ]] && kill -0 "$player" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.1; done
  printer_cut_short disconnect 400000 p1
  printer_start p1 --at "$stand_in/pty" || return 1
  wait "$player"
  status=$?
  out=$E2E_LOGS/$scenario-vanishes.txt
  check "the printer vanishing part-way and back: changed at the second attempt" \
    '. == [1, "1 0", 2]' "$(outcome)"
  printer_stop p1
  check_image_received

  stand_in_unplug "$stand_in"
  play unplugged '["--allow-root"]'
  check "no printer plugged in: failed after three attempts" '. == [0, "0 1", 3]' "$(outcome)"
  holds "... saying why" grep -q 'exit code 2 (no printer for this updater was found).*No printer with the id' "$out"
}

steps
scenario_end
