# Helpers of the end-to-end scripts, which run the real brakkan ($exe) on
# the generated game data ($data).

# Moves into a fresh folder, removed on exit, that is also the home and
# per-user folder, on an X server of the script's own (own_display). The
# game data is the build's generated data root ($data, the scripts' second
# argument); the scripts only read it.
enter_temp_home() {
  [ -f "${data:-}/zzzz.saf" ] || { echo "no game data in '${data:-}'"; exit 1; }
  dir=$(mktemp -d)
  xvfb_pid= xvfb2_pid=
  trap 'stop_own_display; rm -rf "$dir"' EXIT
  own_display
  cd "$dir" || exit 1
  export HOME=$dir XDG_DATA_HOME=$dir/xdg BK_HOME=$data BK_ERROR_BOX=0
}

# A config that asks for a window (640 x 480 unless the run says otherwise)
# rather than the desktop's full-screen mode.
write_windowed_config() {
  mkdir -p "$dir/xdg/Brakkan"
  printf 'video_mode=Windowed\n' >"$dir/xdg/Brakkan/config"
}

# Starts a virtual X server for this script alone and points DISPLAY at it.
# With no window manager SDL gives the focus to every window it shows, and
# on a shared display other tests' windows would cover the frames captured
# here. -displayfd lets the server take a free display number itself; the
# server is told to end if the script dies without its exit trap. A script
# that sets xvfb_screen (e.g. 640x480x24) gets a screen of that size.
own_display() {
  start_xvfb .xvfb xvfb_pid
  export DISPLAY=$started_display
  unset XAUTHORITY
}

# One more X server of the script's own, for a second game run side by side
# with the first (a window of its own display, so neither covers nor takes
# the focus from the other): its display (":N") in display2. It ends with
# the script, like own_display's.
second_display() {
  start_xvfb .xvfb2 xvfb2_pid
  display2=$started_display
}

# Starts Xvfb with its files in $dir/$1, its pid in the variable named $2
# and its display in started_display.
start_xvfb() {
  mkdir "$dir/$1"
  setpriv --pdeathsig TERM Xvfb -displayfd 3 -screen 0 "${xvfb_screen:-1280x1024x24}" -nolisten tcp -noreset \
    3>"$dir/$1/display" 2>"$dir/$1/log" &
  local pid=$!
  printf -v "$2" %s "$pid"
  for _ in $(seq 600); do
    [ "$(wc -l <"$dir/$1/display")" -ge 1 ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  local number
  number=$(head -n 1 "$dir/$1/display")
  [ -n "$number" ] || { echo "the virtual X server (Xvfb) did not start:"; cat "$dir/$1/log"; exit 1; }
  started_display=:$number
}

stop_own_display() {
  local pid
  for pid in "${xvfb2_pid:-}" "${xvfb_pid:-}"; do
    [ -n "$pid" ] || continue
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  xvfb_pid= xvfb2_pid=
}

# The id of process $1's window, or nothing.
window_of() {
  local id
  for id in $(xwininfo -root -tree 2>/dev/null | grep '"Brakkan"' | awk '{print $1}'); do
    xprop -id "$id" _NET_WM_PID 2>/dev/null | grep -q "= $1\$" && { echo "$id"; return 0; }
  done
  return 1
}

# Whether process $1 shows a window titled "Brakkan".
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

# A data root at $1 that links every entry of the game data but
# quarrybend, which is a copy of $2 (the data's own when not given), so a
# run can change the track without touching the build's data.
data_root_with_track_copy() {
  mkdir -p "$1"
  local f
  for f in "$data"/*; do ln -s "$f" "$1/"; done
  rm "$1/quarrybend"
  cp -r "${2:-$data/quarrybend}" "$1/quarrybend"
}
