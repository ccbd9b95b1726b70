#!/usr/bin/env bash
# Rebinding the throttle on the controls page and riding with it: the row
# waits for a key, takes "k", and in the time trial started next "k" drives
# the bike while the old "x" does nothing. The config written at the end
# holds the new key.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
# The main menu takes input once the game's frames run (no race loads
# without a track on the command line).
wait_for_menu() { wait_running "$started_at" || fail "the game never showed its main menu"; }
fail() { echo "$*"; tail -n 40 "$log" 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }
shot() { [ -n "${BK_CAPTURE:-}" ] && snap "${BK_CAPTURE%.png}-$1.png"; }
mkdir -p "$user"
printf 'video_mode=Windowed\nxres=640\nyres=480\n' >"$user/config"

started_at=$(frames_shown)
"$exe" --nosound --debug --print-orientation >o.txt 2>err.txt &
pid=$!
# Like `timeout -s TERM $run_hang_seconds`, but with the game's own pid for its window.
# The watchdog ends with the script, its sleep too: a sleep left behind
# would hold the test's output open (the test would last that long)
# and then signal whatever process has the game's pid by then.
(
  trap 'kill "$nap" 2>/dev/null; exit 0' TERM
  sleep "$run_hang_seconds" &
  nap=$!
  wait "$nap" && kill -TERM "$pid" 2>/dev/null
) >/dev/null 2>&1 &
watchdog=$!
trap 'kill "$watchdog" 2>/dev/null; stop_own_display; rm -rf "$dir"' EXIT
wait_for_window "$pid" || fail "no window"
wait_for_menu
win=$(window_of "$pid")
xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowactivate --sync "$win" 2>/dev/null
# Each key waits for the frames that take it: a page change swallows the
# rest of its frame's keys.
key() { press "$@"; }

key Down Down Down Down Down Down Down
key Return  # "Customize Controls"
key Down
key Return  # the Throttle row
# The row takes the first key pressed once it has settled for a moment and
# swallows every key until then, so the menu keys wait for the binding
# (--debug logs the capture's start and end).
wait_pid=$pid wait_log 'Watching pots' || fail "the Throttle row never waited for a key"
shot capturing
key k
wait_pid=$pid wait_log 'Done watching pots' || fail "the Throttle row never took k"
shot bound
key Up
key Return  # back to the main menu
key Down Down Down
key Return  # "Time Trial"
key Down
resets=$(grep -c 'Max loading delay was' "$log")
key Return  # "Start"
wait_pid=$pid wait_log 'Max loading delay was' "$log" $((resets + 1)) || fail "the time trial was not started"
# The rider's first orientation lines: the race view runs.
wait_pid=$pid wait_until file_has o.txt || fail "no orientation lines"

# The game's t and the camera position of the last orientation line.
last() {
  python3 -c '
import re, sys
lines = [l for l in open("o.txt", errors="replace") if l.startswith("t=") and "p2=" in l]
if lines:
    v = dict(re.findall(r"(\w+)=(\S+)", lines[-1]))
    print(v["t"], v["p0"], v["p1"], v["p2"])'
}
# Holds key $1 for $2 seconds of the game's t; prints the camera's move.
hold() {
  local start now seconds=$2
  start=$(last)
  [ -n "$start" ] || { echo "none"; return; }
  xdotool keydown "$1"
  held_long_enough() {
    now=$(last)
    python3 -c "import sys; a=sys.argv[1].split(); b=sys.argv[2].split(); sys.exit(0 if float(b[0])-float(a[0]) >= float(sys.argv[3]) else 1)" "$start" "$now" "$seconds"
  }
  wait_pid=$pid wait_until held_long_enough
  xdotool keyup "$1"
  python3 -c "import sys,math; a=[float(v) for v in sys.argv[1].split()]; b=[float(v) for v in sys.argv[2].split()]; print(math.dist(a[1:],b[1:]))" "$start" "$now"
}
moved_x=$(hold x 2)
[ "$moved_x" != none ] || fail "no orientation lines"
shot after-x
moved_k=$(hold k 4)
shot after-k
echo "x moved the camera $moved_x ft, k $moved_k ft"
python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < 1 else 1)" "$moved_x" || fail "the old throttle key still drives: $moved_x ft"
python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) > 15 else 1)" "$moved_k" || fail "the new throttle key does not drive: $moved_k ft"

kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
# The key's name is the platform's ("K"); the file keeps it as shown.
grep -qix 'throttle_key=(k)k' "$user/config" || fail "config: $(grep throttle_key "$user/config")"
exit 0
