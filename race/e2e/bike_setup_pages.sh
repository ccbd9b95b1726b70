#!/usr/bin/env bash
# The bike setup pages in the real game, during a race: a clicker, the
# stability preset and the lean indicator changed from the pages, a bike
# and its graphics picked through the chooser. The changes reach the
# ridden bike (the setup-change line) and the config written at the end.
# With BK_CAPTURE set, frames of the pages are saved as $BK_CAPTURE-*.png.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; [ -n "${BK_KEEP_LOG:-}" ] && cp "$log" "$BK_KEEP_LOG"; tail -n 40 "$log" 2>/dev/null; cat err.txt 2>/dev/null | tail -n 20; exit 1; }
mkdir -p "$user"
printf 'video_mode=Windowed\nxres=640\nyres=480\n' >"$user/config"

capture() { [ -n "${BK_CAPTURE:-}" ] && snap "$BK_CAPTURE-$1.png"; }
# Each key waits for the frames that take it (a page change drops the rest
# of its frame's keys).
keys() { press "$@"; }
# Moves within one page: every key of a frame reaches the page, so they
# go together, then the frames that take them.
repeat() {
  local n=$1
  shift
  xdotool key --repeat "$n" --delay 30 "$@"
  wait_frames
}

# The setup change lines mark, between them, rows 2, 5, 8, 15 and 22: the
# clicker and the four values the stability preset moved.
marked_lines() { grep -o '\[SPAM\] Setup change [^ ]*' "$log" | awk '{print $4}' | sort -u; }
# Whether the on-bike view's lines after line $1 span $2 seconds of race.
race_seconds_since() {
  awk -v from="$1" -v span="$2" 'NR > from { t = substr($1, 3); if (first == "") first = t; if (t - first >= span) ok = 1 }
    END { exit !ok }' orientation.txt
}
# rows_marked: at least those rows; rows_marked exactly: those alone.
rows_marked() {
  local lines
  lines=$(marked_lines)
  [ -n "$lines" ] || return 1
  python3 - "${1:-}" "$lines" <<'PY'
import sys
want = {2, 5, 8, 15, 22}
marked = set()
for line in sys.argv[2].split():
    marked |= {i + 1 for i, c in enumerate(line) if c != "-"}
sys.exit(0 if marked == want or (sys.argv[1] != "exactly" and want <= marked) else 1)
PY
}

"$exe" --track quarrybend --nosound --print-orientation >orientation.txt 2>err.txt &
pid=$!
wait_for_window "$pid" || fail "no window"
wait_pid=$pid wait_log 'Max loading delay was' || fail "the race never loaded"
# The race's frames run: the menus take keys.
wait_frames 5
win=$(window_of "$pid")
xdotool mousemove --window "$win" 10 10 click 1 2>/dev/null
xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowactivate --sync "$win" 2>/dev/null
# The main menu is open over the first race: it closes, the console
# takes the command, and Escape leaves the console and opens the menu.
keys Escape t
type_text '/togglespam'
keys Return Escape Escape
capture after-console
# A time trial puts the player on the bike, standing at the start.
repeat 3 Down
keys Return Down Return
wait_pid=$pid wait_log 'Max loading delay was' "$log" 2 || fail "the time trial never loaded"
# The bike drops onto the start and settles within a second of race time.
# The menus pause a time trial, and the mechanic refuses a bike that is
# still moving: the menu opens once two seconds of the trial have passed.
wait_pid=$pid wait_until race_seconds_since "$(wc -l <orientation.txt)" 2 || fail "the time trial's clock never ran"
keys Escape
# The main menu's "Bike Setup", then "Suspension and Gearing".
repeat 5 Down
keys Return Down Return
keys Down Right Right Right
capture suspension
keys Up Return
# "Stability" one step left, "Lean Indicator" to "No".
repeat 10 Down
keys Left
repeat 14 Down
keys Left
capture bike-setup
# "Bike" through the chooser: yz250f(2017) is option 49, the tenth row of
# the third page.
repeat 21 Up
keys Return
repeat 22 Down
keys Return Return
repeat 11 Up
capture bike-chooser
keys Return
# "Bike Graphics" through the chooser: the variant after "default".
repeat 8 Down
keys Return Down Down Down
capture graphics-chooser
keys Return
capture bike-setup-after
# The game reports setup changes every 5 s of its clock; the run ends once
# the report covers every change made, however fast the pages went by.
wait_pid=$pid wait_until rows_marked || fail "the setup change lines never marked rows 2, 5, 8, 15 and 22: $(marked_lines)"
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
rows_marked exactly || fail "the setup change lines mark other rows: $(marked_lines)"

for want in fork_compression_adjustment=53.000000 stability=99.000000 roll_damping=79.750000 \
  restricted_lock=1.075000 lean_indicator=No 'bike=yz250f(2017)' bike_texture=green; do
  grep -qxF "$want" "$user/config" || fail "config lacks $want: $(grep -E '^(bike|bike_texture|stability|lean_indicator)=' "$user/config")"
done
echo "setup changed from the pages"
