#!/bin/bash
# The signed executable of a release (E2E_SIGNED_UPDATER, as tests/release/check-signing
# leaves it) loads under Wine and sends the whole image: the signature appended to
# the file changes nothing the program reads. Without E2E_SIGNED_UPDATER the
# build's executable is signed here with a throw-away test key.
# shellcheck disable=SC2016
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

# The updater, signed; its caption is that of the build's (the same profile).
signed_updater() {
  local signed=${E2E_SIGNED_UPDATER:-}
  if [[ -z $signed ]]; then
    signed=$E2E_BUILD_DIR/signed/FirmwareUpdater.exe
    "$E2E_SOURCE_DIR/scripts/release" --sign-only "$E2E_UPDATER" "$signed" --test-key \
      >>"$E2E_LOGS/signed-release.log" 2>&1 || { fail "signing $E2E_UPDATER"; return 1; }
  fi
  E2E_UPDATER=$signed
  if /usr/bin/python3 "$E2E_SOURCE_DIR/res/tools/exe_resources.py" signed "$E2E_UPDATER"; then
    pass "the executable carries a signature: $E2E_UPDATER"
  else
    fail "no signature in $E2E_UPDATER"
    return 1
  fi
}

steps() {
  signed_updater || return 1
  scenario_begin signed || return 1
  printer_register p1 || return 1
  printer_start p1 || return 1
  ready_shown || return 1
  transfer_completes
}

steps
scenario_end
