#!/usr/bin/env bash
# The Points Series pages in the real game: the sample series is entered
# from the menus, its heat recorded when the game ends, the standings show
# it on the next start, and practising the next event records nothing.
# With BK_CAPTURE set, frames of the pages are saved as $BK_CAPTURE-*.png.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; tail -n 40 "$log" 2>/dev/null; cat err.txt 2>/dev/null | tail -n 20; exit 1; }
mkdir -p "$user"
printf 'video_mode=Windowed\nxres=640\nyres=480\n' >"$user/config"

capture() { [ -n "${BK_CAPTURE:-}" ] && snap "$BK_CAPTURE-$1.png"; }
# The race the menu started: once it has loaded, the start caption is up
# for its first seconds. The window's frames go to $1.png until the
# measure $2 (a function) holds; a slow machine may show the loading
# screen first.
caption_frame() {
  wait_pid=$pid wait_log 'Max loading delay was' "$log" 2
  local ok=1
  for _ in $(seq 12); do
    wait_frames 1
    import -window "$win" "$1.png"
    "$2" "$1.png" && ok=0 && break
  done
  [ -n "${BK_CAPTURE:-}" ] && cp "$1.png" "$BK_CAPTURE-$1.png"
  return $ok
}
# Near-white pixels (the caption's text) in the crop $2 of $1.
white() {
  convert "$1" -crop "$2" +repage -separate -evaluate-sequence min -threshold 86% -format '%[fx:round(mean*w*h)]' info:
}
# The caption is centred a little above the middle: the event's title
# "Heat" is one short line, where a race outside the series shows the
# wider track name over a second line with its length.
title=36x16+302+220
left_of_title=28x16+272+220
right_of_title=28x16+340+220
second_line=70x16+285+243
title_only() {
  t=$(white "$1" $title)
  b=$(($(white "$1" $left_of_title) + $(white "$1" $right_of_title)))
  n=$(white "$1" $second_line)
  [ "$t" -ge 10 ] && [ $((b + n)) -le 3 ]
}
two_lines() {
  n=$(white "$1" $second_line)
  [ "$n" -ge 10 ]
}
keys() { press "$@"; }

# Starts the game and waits for the first race to load.
start() {
  "$exe" --track quarrybend --nosound 2>err.txt &
  pid=$!
  wait_for_window "$pid" || fail "no window"
  wait_pid=$pid wait_log 'Max loading delay was' || fail "the first race never loaded"
  # The race's frames run: the menus take keys.
  wait_frames 5
  win=$(window_of "$pid")
  xdotool mousemove --window "$win" 10 10 click 1 2>/dev/null
  xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowactivate --sync "$win" 2>/dev/null
  # The main menu is open over the first race.
}
stop() {
  kill -TERM "$pid"
  wait_or_kill "$pid" "$log"
  local rc=$?
  [ "$rc" = 0 ] || fail "exit code $rc, expected 0"
}
# Main menu -> "Points Series" -> the first series -> its standings.
open_standings() {
  keys Down Down Return
  capture "$1-list"
  keys Down Return
  capture "$1-standings"
}

start
open_standings first
keys Down Return
caption_frame entered-caption title_only ||
  fail "the start caption is not the event title: $t title pixels, $b beside it, $n on a second line"
# The running order lists every rider from the race's first tick, before
# the gate drops: the heat is recorded with the robots placed 1..4 and the
# player, who never finished, 5th.
[ -n "${BK_CAPTURE:-}" ] && wait_frames 50
capture first-race
grep -q 'Resetting' "$log" || fail "the race was never reset"
wait_frames 5
stop
standings=$(find "$dir" "$data" -name 'quarrybend_cup.series_standings' 2>/dev/null | head -n 1)
[ -n "$standings" ] || fail "no standings file written"
[ "$(wc -l <"$standings")" = 1 ] || fail "the standings hold $(wc -l <"$standings") lines, expected 1"
python3 - "$standings" <<'PY' || fail "the standings line is not the robots' 1..4 and the player's 5: $(cat "$standings")"
import sys
values = [int(v) for v in open(sys.argv[1]).read().split()]
sys.exit(0 if len(values) == 5 and values[4] == 5 and sorted(values[:4]) == [1, 2, 3, 4] else 1)
PY
cp "$standings" first_standings

start
open_standings second
keys Down Down Return
# The same measure finds the track name and length of a practice.
caption_frame practice-caption two_lines ||
  fail "no second caption line in practice ($n pixels): the caption was not measured"
[ -n "${BK_CAPTURE:-}" ] && wait_frames 50
capture second-practice
stop
cmp -s first_standings "$standings" || fail "practising changed the standings"
echo "entered, recorded, practised"
