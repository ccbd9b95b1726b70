# Helpers of the end-to-end scripts, which run the real brakkan ($exe) on
# the generated game data ($data).
#
# Every wait here is on something the game writes: a line of its log, a
# file, a window, or the frames it has shown (the file BK_FRAME_FILE, a
# line a frame). A loaded machine only makes the game slower, so no wait
# has a deadline short of a hang's (hang_seconds).

# How long one wait may last before it counts as a hang: far longer than
# any step takes on a machine loaded with other work (a sanitizer build
# on a software renderer may draw two frames a second then).
hang_seconds=${BK_E2E_HANG_SECONDS:-600}
# How long a whole game run may last before it counts as a hang (inside
# the test's own time-out of 1500 s).
run_hang_seconds=1400
e2e_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Runs the command "$@" until it succeeds; 1 once hang_seconds have passed.
# With $wait_pid set, 1 as soon as that process has ended too (a game that
# died shows nothing more).
wait_until() {
  local end=$((SECONDS + hang_seconds))
  until "$@"; do
    [ "$SECONDS" -ge "$end" ] && return 1
    [ -n "${wait_pid:-}" ] && ! kill -0 "$wait_pid" 2>/dev/null && { "$@"; return; }
    sleep 0.1
  done
}

# Whether the file $2 (the log $log when empty) has at least $3 (1) lines
# holding the text $1, matched as a fixed string: give whole messages.
log_has() { [ "$(grep -c -F -- "$1" "${2:-$log}" 2>/dev/null)" -ge "${3:-1}" ]; }
# Waits for such a line: wait_log TEXT [FILE [COUNT]].
wait_log() { wait_until log_has "$@"; }
# Whether file $1 exists with at least $2 (1) bytes.
file_has() { [ "$(stat -c %s "$1" 2>/dev/null || echo -1)" -ge "${2:-1}" ]; }
# Waits for file $1 to hold at least $2 (1) bytes.
wait_file() { wait_until file_has "$@"; }

# The lines of file $1 (0 while it does not exist).
lines_of() {
  local n
  n=$(wc -l 2>/dev/null <"$1") || n=0
  echo "${n:-0}"
}
# The frames the game has shown so far (all runs of this script's home).
frames_shown() { lines_of "$BK_FRAME_FILE"; }
frames_reach() { [ "$(frames_shown)" -ge "$1" ]; }
# Waits until the game has shown $1 (3) more frames. Input sent before the
# call is read at the latest in the frame after the next and drawn in the
# one after it, so 3 frames later the screen shows its effect, however
# slowly the machine runs. The game's process is $pid (a dead one ends the
# wait at once).
wait_frames() {
  local want=$(($(frames_shown) + ${1:-3}))
  wait_pid=${pid:-} wait_until frames_reach "$want"
}
# Waits until the game $pid, started when $1 frames had been shown, has
# shown $2 (5) of its own: its frame loop runs, and its menus take input.
wait_running() { wait_pid=${pid:-} wait_until frames_reach $(($1 + ${2:-5})); }
# The key and mouse button presses the game has taken so far (all runs of
# this script's home): a line each in BK_PRESS_FILE.
presses_taken() { lines_of "$BK_PRESS_FILE"; }
presses_reach() { [ "$(presses_taken)" -ge "$1" ]; }
# Runs the command "$@", which sends input holding $1 presses, then waits
# until the game $pid has taken them and shown the frames after them. A
# loaded X server may pass input on late and several presses at once,
# and a page change drops the keys after it in the same batch: waiting
# for each press to arrive keeps them in frames of their own.
send_presses() {
  local count=$1 want
  shift
  want=$(($(presses_taken) + count))
  "$@" || return 1
  wait_pid=${pid:-} wait_until presses_reach "$want" || return 1
  wait_frames
}
# Presses each key in turn, waiting for the game to take it and show it.
press() {
  local k
  for k in "$@"; do
    send_presses 1 xdotool key "$k" || return 1
  done
}
# Types the text $1 (a key press a character; a capital's shift counts
# as more, so the wait is for at least one press a character).
type_text() {
  local i
  for ((i = 0; i < ${#1}; i++)); do
    send_presses 1 xdotool type "${1:i:1}" || return 1
  done
}
# The pointer to x $1, y $2 of window $win, then the frames that show it.
point_at() { xdotool mousemove --window "$win" "$1" "$2" && wait_frames; }
# A click at x $1, y $2 of window $win, waited for likewise.
click_at() { send_presses 1 xdotool mousemove --window "$win" "$1" "$2" click 1; }
# Saves the screen (or window $2) to $1 once the game has shown the frames
# after the last input.
snap() {
  wait_frames || return 1
  import -window "${2:-root}" "$1"
}

# Python with the scripts' helpers (e2e_png: PNG decoding) importable.
e2e_python() { PYTHONPATH="$e2e_lib_dir${PYTHONPATH:+:$PYTHONPATH}" python3 "$@"; }

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
  export HOME=$dir XDG_DATA_HOME=$dir/xdg BK_HOME=$data BK_ERROR_BOX=0 BK_FRAME_FILE=$dir/frames_shown.txt \
    BK_PRESS_FILE=$dir/presses_taken.txt
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
  wait_pid=$pid wait_until file_has "$dir/$1/display" 2
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

# Waits for process $1's window (1 when the process ends first or hangs).
wait_for_window() { wait_pid=$1 wait_until has_window "$1"; }

# Whether process $1 has ended.
ended() { ! kill -0 "$1" 2>/dev/null; }

# Waits for process $1 to end and returns its exit code. One that does not
# end is killed after showing the end of its log ($2), so a hang fails with
# something to go on: 98.
wait_or_kill() {
  if wait_until ended "$1"; then
    wait "$1"
    return
  fi
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
