# shellcheck shell=bash
# An Xvfb display of one scenario's own, with its own authorisation cookie. The
# server picks a free display number itself (-displayfd), so scenarios started
# side by side, and other runs on the machine, never race for one.
#
#   e2e_display_start DIR   starts it and exports DISPLAY and XAUTHORITY (files in DIR)
#   e2e_display_stop        ends it, by its pid, and waits for it

e2e_display_pid=""

e2e_display_start() {
  local dir=$1 cookie number=""
  rm -rf "$dir" && mkdir -p "$dir" || return 1
  cookie=$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')
  # The server takes the file's cookies whatever display they name; clients look
  # theirs up by number, added once the server has chosen it.
  : >"$dir/auth"
  xauth -q -f "$dir/auth" add :0 . "$cookie" || return 1
  Xvfb -displayfd 3 -auth "$dir/auth" -screen 0 1024x768x24 -nolisten tcp \
    3>"$dir/number" >"$dir/log" 2>&1 &
  e2e_display_pid=$!
  local deadline=$((SECONDS + 30))
  # The number comes with a line end once the server takes connections.
  until [[ $number == *$'\n' ]]; do
    kill -0 "$e2e_display_pid" 2>/dev/null || { echo "e2e: Xvfb ended: $(cat "$dir/log")" >&2; return 1; }
    ((SECONDS < deadline)) || { echo "e2e: Xvfb gave no display number" >&2; return 1; }
    sleep 0.05
    number=$(cat "$dir/number"; echo x)
    number=${number%x}
  done
  number=${number%$'\n'}
  xauth -q -f "$dir/auth" add ":$number" . "$cookie" || return 1
  export DISPLAY=:$number XAUTHORITY=$dir/auth
}

e2e_display_stop() {
  [[ -n $e2e_display_pid ]] || return 0
  kill -TERM "$e2e_display_pid" 2>/dev/null
  wait "$e2e_display_pid" 2>/dev/null
  e2e_display_pid=""
  return 0
}
