#!/usr/bin/env bash
# Menu items take a mouse click where the pointer is, even when it moved in
# the same instant: on the main menu a move-and-click on "Time Trial" opens
# that page, and one on its "Start" starts the time trial (a second race
# reset in the log).
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; tail -n 40 "$log" 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }
mkdir -p "$user"
printf 'video_mode=Windowed\nxres=640\nyres=480\n' >"$user/config"

"$exe" --track quarrybend 2>err.txt &
pid=$!
wait_for_window "$pid" || fail "no window"
wait_pid=$pid wait_log 'Max loading delay was' || fail "the race never loaded"
# The race's frames run: the menus take input.
wait_frames 5
[ "$(grep -c 'Resetting' "$log")" -ge 1 ] || fail "the race was never reset"
resets=$(grep -c 'Resetting' "$log")
win=$(window_of "$pid")
xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowactivate --sync "$win" 2>/dev/null
# The main menu at 640 x 480: 15 pixels a line, the items 4.5 lines down
# and 1.375 lines apart; "Time Trial" is the fourth.
# A page change swallows the rest of its frame's input: each click waits
# for the frames that take it.
click_at 100 136
[ -n "${BK_CAPTURE:-}" ] && snap "${BK_CAPTURE%.png}-1.png"
# The Time Trial page: "Start" is its third item.
click_at 100 72
wait_pid=$pid wait_log 'Resetting' "$log" $((resets + 1))
[ -n "${BK_CAPTURE:-}" ] && snap "${BK_CAPTURE%.png}-2.png"
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
[ "$(grep -c 'Resetting' "$log")" -gt "$resets" ] || fail "the clicks did not start a time trial"
exit 0
