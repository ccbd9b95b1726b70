# Typing at the console of the real game: sourced after lib.sh by the
# scripts that drive it, with $exe, $dir and $user set.

# Runs brakkan on quarrybend until the race is reset, opens the console
# (Escape closes the main menu, the Chat key "t" opens page 16), types each
# argument followed by Return ("Up" presses the Up key instead of typing),
# waiting after each for the line it prints, then ends the run with TERM.
# rc is brakkan's exit code (99: no window or no race). BK_CAPTURE names a
# frame to grab before the end.
console_session() {
  "$exe" --track quarrybend 2>>err.txt &
  local pid=$! line win
  if ! wait_for_window "$pid"; then
    kill -KILL "$pid"
    wait "$pid"
    rc=99
    return
  fi
  wait_pid=$pid wait_log 'Max loading delay was' "$user/lastlog.txt"
  # The race's frames run: the menus and the console take keys.
  wait_frames 5
  if ! grep -q 'Resetting' "$user/lastlog.txt"; then
    echo "the race was never reset"
    kill -KILL "$pid"
    wait "$pid"
    rc=99
    return
  fi
  win=$(window_of "$pid")
  xdotool mousemove --window "$win" 10 10 click 1 2>/dev/null
  xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowactivate --sync "$win" 2>/dev/null
  # A page change swallows the rest of its frame's keys: each key waits
  # for the frames that take it.
  press Escape t
  # Every line typed prints at least one line; waiting for it keeps a slow
  # frame from swallowing the next line's first keys.
  local lines
  for line in "$@"; do
    lines=$(wc -l <"$user/lastlog.txt")
    if [ "$line" = Up ]; then
      xdotool key Up
    else
      xdotool type --delay 20 "$line"
    fi
    xdotool key Return
    wait_pid=$pid wait_until log_grew "$lines"
    wait_frames
  done
  [ -n "${BK_CAPTURE:-}" ] && snap "$BK_CAPTURE"
  kill -TERM "$pid"
  wait_or_kill "$pid" "$user/lastlog.txt"
  rc=$?
}

# Whether the log has grown past $1 lines.
log_grew() { [ "$(wc -l <"$user/lastlog.txt")" -gt "$1" ]; }

# Whether the log holds each argument, in this order.
log_in_order() {
  python3 - "$user/lastlog.txt" "$@" <<'PY'
import sys
text = open(sys.argv[1], errors="replace").read()
at = 0
for want in sys.argv[2:]:
    found = text.find(want, at)
    if found < 0:
        print("missing after offset %d: %s" % (at, want))
        sys.exit(1)
    at = found + len(want)
PY
}
