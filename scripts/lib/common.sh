# shellcheck shell=bash
# What the scripts share: their help, their messages, their timings, the CMake
# cache. Sourced, not run; it needs bash alone.
#
#   show_help                      the script's head comment (line 2 up to its first
#                                  `set -`) as its help, and the script ends with 0
#   say TEXT...                    a line on standard output; a closed output stops nothing
#   die TEXT...                    "SCRIPT: TEXT" on standard error, then the script ends
#                                  with $die_status (1 unless the script set it)
#   now                            the time, in seconds since the epoch (microseconds)
#   seconds_since START [DIGITS]   the seconds since START (a `now`), with DIGITS decimals (3)
#   cmake_cache_value BUILD NAME   the value of NAME in the build folder's CMakeCache.txt

show_help() {
  sed -n '2,/^set -/p' "$0" | sed '$d; s/^# \{0,1\}//'
  exit 0
}
say() { printf '%s\n' "$*" 2>/dev/null || true; }
die() {
  say "${0##*/}: $*" >&2
  exit "${die_status:-1}"
}
now() { printf '%s\n' "${EPOCHREALTIME/,/.}"; }
seconds_since() { awk -v a="$1" -v b="$(now)" -v d="${2:-3}" 'BEGIN { printf "%.*f", d, b - a }'; }
cmake_cache_value() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }
