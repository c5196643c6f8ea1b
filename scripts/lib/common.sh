# shellcheck shell=bash
# What the scripts share. Sourced, not run; it needs bash alone.
#
#   show_help [STATUS]             the script's head comment up to its `set -`, then exit
#                                  STATUS (0)
#   say TEXT...                    a line on standard output; a closed output stops nothing
#   die TEXT...                    "SCRIPT: TEXT" on standard error, then exit $die_status (1)
#   now                            the time, in seconds since the epoch (microseconds)
#   seconds_since START [DIGITS]   the seconds since START (a `now`), with DIGITS decimals (3)
#   cmake_cache_value BUILD NAME   the value of NAME in the build folder's CMakeCache.txt

# shellcheck disable=SC2120,SC2119  # fill-in gives its status
show_help() {
  sed -n '2,/^set -/p' "$0" | sed '$d; s/^# \{0,1\}//'
  exit "${1:-0}"
}
say() { printf '%s\n' "$*" 2>/dev/null || true; }
die() {
  say "${0##*/}: $*" >&2
  exit "${die_status:-1}"
}
now() { printf '%s\n' "${EPOCHREALTIME/,/.}"; }
seconds_since() { awk -v a="$1" -v b="$(now)" -v d="${2:-3}" 'BEGIN { printf "%.*f", d, b - a }'; }
cmake_cache_value() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }
