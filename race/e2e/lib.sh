# Helpers of the end-to-end scripts, which run the real brakkan ($exe) on
# the generated game data ($data).

# Checks for a display and moves into a fresh folder, removed on exit, that
# is also the home and per-user folder. The game data is the build's
# generated data root ($data, the scripts' second argument); the scripts
# only read it.
enter_temp_home() {
  [ -n "${DISPLAY:-}" ] || { echo "no display: run under xvfb-run"; exit 1; }
  [ -f "${data:-}/zzzz.saf" ] || { echo "no game data in '${data:-}'"; exit 1; }
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
  cd "$dir" || exit 1
  export HOME=$dir XDG_DATA_HOME=$dir/xdg BK_HOME=$data BK_ERROR_BOX=0
}

# A config that asks for a window (640 x 480 unless the run says otherwise)
# rather than the desktop's full-screen mode.
write_windowed_config() {
  mkdir -p "$dir/xdg/Brakkan"
  printf 'video_mode=Windowed\n' >"$dir/xdg/Brakkan/config"
}

# The id of process $1's window, or nothing.
window_of() {
  local id
  for id in $(xwininfo -root -tree 2>/dev/null | grep '"Brakkan"' | awk '{print $1}'); do
    xprop -id "$id" _NET_WM_PID 2>/dev/null | grep -q "= $1\$" && { echo "$id"; return 0; }
  done
  return 1
}

# Whether process $1 shows a window titled "Brakkan" (other tests may run
# their own brakkan on the same display).
has_window() { window_of "$1" >/dev/null; }

# Waits up to 30 s for process $1's window.
wait_for_window() {
  for _ in $(seq 300); do
    has_window "$1" && return 0
    sleep 0.1
  done
  return 1
}

# Waits up to 60 s for process $1 to end and returns its exit code. One
# that does not end is killed after showing the end of its log ($2), so a
# hang fails with something to go on: 98.
wait_or_kill() {
  for _ in $(seq 600); do
    kill -0 "$1" 2>/dev/null || { wait "$1"; return; }
    sleep 0.1
  done
  echo "brakkan (pid $1) did not end; the end of its log:"
  tail -n 20 "${2:-x.log}" 2>/dev/null
  kill -KILL "$1"
  wait "$1"
  return 98
}

# Starts brakkan (the rest of the arguments: environment assignments for it),
# waits for its window and sends it signal $1. Returns brakkan's exit code,
# 99 when no window came, 98 when it did not end.
run_until_signal() {
  local sig=$1
  shift
  env "$@" "$exe" &
  local pid=$!
  if ! wait_for_window "$pid"; then
    kill -KILL "$pid"
    wait "$pid"
    return 99
  fi
  kill -s "$sig" "$pid"
  wait_or_kill "$pid"
}
