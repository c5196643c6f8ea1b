#!/bin/bash
# What the image check costs under Wine: hash-bench.exe runs the updater's own
# check (CNG's SHA-256 of the shipped image against the digest the build stored)
# on the image and digest read out of the executable, against one memcpy of the
# image. Prints both and their ratio, and keeps them in
# build/e2e/logs/bench-image-hash.txt. The check must stay under 20 ms.
set -uo pipefail
# shellcheck source=e2e/lib.sh
source "$(dirname "$0")/../lib.sh"

steps() {
  scenario_begin image-hash || return 1
  [[ -f $E2E_HASH_BENCH ]] || { fail "no hash-bench.exe: cmake --build --preset windows-e2e"; return 1; }
  local result line
  result=$(timeout 120 wine "$E2E_HASH_BENCH" "$(winepath -w "$E2E_UPDATER")" 2>/dev/null)
  echo "  $result"
  check "the check passed on the shipped image" '.ok == true' "$result"
  check "the check costs under 20 ms" '.checkMs < 20' "$result"
  line=$(jq -r '"\(.checkMs) \(.memcpyMs) \(.imageBytes)"' <<<"$result" | awk '{
    printf "%-44s %10.2f ms  against %-34s %10.2f ms  ratio %6.2f",
      "Wine: SHA-256 check of the image (" $3 " B)", $1,
      "one memcpy of the image", $2, ($2 > 0 ? $1 / $2 : 0) }')
  echo "$line"
  echo "$line" >"$E2E_LOGS/bench-image-hash.txt"
}

steps
scenario_end
