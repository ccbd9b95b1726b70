#!/usr/bin/env bash
# A new player's first two sessions, through the menus alone, on a 640 x 480
# screen with an empty per-user folder and no config.
# First: New Race on quarrybend (picked in the chooser) with Record Demo,
# 2 laps and a line-up of a 2-stroke robot, a 4-stroke robot and the
# player at Gates 18-20, ridden with the throttle held; then a time trial;
# then Quit and a key on the exit page. The demo holds the three riders,
# the config the choices.
# Second (--debug): the recorded demo played back alone, then raced
# against (recording refused, the demo left as it was), then a broken demo
# refused; Quit.
# With BK_CAPTURE set, a frame of every step is saved as $BK_CAPTURE-*.png.
set -u
exe=$1
data=$2
here=$(cd "$(dirname "$0")" && pwd)
xvfb_screen=640x480x24
. "$here/lib.sh"
. "$here/menu_lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; tail -n 40 "$log" 2>/dev/null | cut -c1-200; tail -n 20 err.txt 2>/dev/null; exit 1; }
bkdata=$(dirname "$exe")/bkdata
started=$(date +%s)

# Whether the two latest frames ($1 and $2) differ in over a fifth of
# their pixels: the view itself moved, not just a rider in it.
moved() {
  local n
  n=$(compare -metric AE -fuzz 5% "$dir/frames/$(printf '%02d' $((frames_taken - 1)))-$1.png" \
    "$dir/frames/$(printf '%02d' "$frames_taken")-$2.png" null: 2>&1)
  echo "$1 -> $2: $n pixels changed"
  [ "${n%% *}" -gt $((640 * 480 / 5)) ] 2>/dev/null
}
# Holds the key $1 down for $2 seconds.
hold() {
  xdotool keydown "$1"
  sleep "$2"
  xdotool keyup "$1"
}
# Main menu -> Quit -> a key on the exit page; the run must end with 0.
quit_from_menu() {
  exit_frame=exit-page
  quit_by_menu
  wait_or_kill "$pid" "$log"
  local rc=$?
  [ "$rc" = 0 ] || fail "exit code $rc, expected 0"
  sanitizer_quiet || fail "a sanitizer report: $(grep -m 3 'ERROR\|runtime error' err.txt)"
}

# --- First session ---
start_game
[ -e "$user/config" ] && fail "a config before the first run"
frame main-menu
click_page "$main_new_race" yes || fail "New Race did not open"
frame new-race
click_page "$new_race_track" yes || fail "Track did not open the chooser"
frame chooser
click_page "$(chooser_row 0)" yes || fail "the quarrybend row did nothing"
frame track-chosen
click "$new_race_record" || fail "Record Demo did not change"
point "$new_race_laps" || fail "Laps was not selected"
for _ in 1 2 3; do key Left || fail "Laps did not change"; done
# Gate 18 Robot -> Robot (2 stroke); Gate 19 Robot -> Robot (4 stroke);
# Gate 20 stays Human; Gates 21-23 Robot -> ... -> Empty.
click "$(gate 18)" || fail "Gate 18 did not change"
for _ in 1 2; do click "$(gate 19)" || fail "Gate 19 did not change"; done
for g in 21 22 23; do
  for _ in 1 2 3; do click "$(gate $g)" || fail "Gate $g did not change"; done
done
frame race-set
click "$page_start" || fail "Start did nothing"
wait_log_count 'Max loading delay was' 1 600 || fail "the race never loaded"
frame race-started
# Throttle held from the gate (it drops 13-15 s after the reset) to 6 s
# past its drop.
xdotool keydown x
wait_log_count 'Gate dropped at' 1 300 || { xdotool keyup x; fail "the gate never dropped"; }
sleep 6
xdotool keyup x
frame race-ridden
escape_to_main_menu || fail "Escape did not open the main menu"
click_page "$main_time_trial" yes || fail "Time Trial did not open"
frame time-trial
click "$page_start" || fail "Start did nothing"
wait_log_count 'Max loading delay was' 2 600 || fail "the time trial never loaded"
hold x 5
frame time-trial-ridden
escape_to_main_menu || fail "Escape did not open the main menu"
quit_from_menu
first_done=$(date +%s)

[ "$(log_count '] Resetting$')" = 2 ] || fail "$(log_count '] Resetting$') race resets, expected 2"
[ "$(log_count "Can't load track")" = 0 ] || fail "a track did not load"
demo=$user/demos/default.bkdemo
[ -f "$demo" ] || fail "no demo recorded"
check=$(BK_HOME=$data "$bkdata" check "$demo") || fail "bkdata refused the demo: $check"
echo "$check"
echo "$check" | head -n 1 | grep -q "demo version 6, track 'quarrybend', 3 riders" ||
  fail "the demo is not version 6 of 3 riders on quarrybend"
bike=$(sed -n 's/^bike=//p' "$user/config")
python3 - "$bike" <<PY || fail "the demo's riders are not a 125, a 250 and 999 on the default bike moving over 100 ft"
import re, sys
riders = re.findall(r"number '([^']*)', bike '([^']*)', \d+ states, moved ([0-9.]+) ft", """$check""")
bikes = [b for _, b, _ in riders]
player = [(b, float(d)) for n, b, d in riders if n == "999"]
ok = (len(riders) == 3 and any("125" in b for b in bikes) and any("250" in b for b in bikes)
      and len(player) == 1 and player[0][0] == sys.argv[1] and player[0][1] > 100)
sys.exit(0 if ok else 1)
PY
for want in track=quarrybend record=Yes laps=2.000000 'slot17=Robot (2 stroke)' 'slot18=Robot (4 stroke)' \
  slot19=Human slot20=Empty slot21=Empty slot22=Empty; do
  grep -qxF "$want" "$user/config" || fail "config lacks $want: $(grep -E '^(track|record|laps|slot1[6-9]|slot2[0-3])=' "$user/config")"
done

# --- Second session ---
cp "$demo" recorded.bkdemo
# A broken demo beside it: a header that promises two riders and holds one.
printf 'BK06 2 0 0\nquarrybend\ncrf250\n' >"$user/demos/broken.bkdemo"
start_game --debug
grep -q 'demos/default.bkdemo -> default' "$log" || fail "--debug did not name the demo rows in the log"
click_page "$main_playback" yes || fail "Playback Race did not open"
frame playback-page
# The rows in name order: broken, default.
click "$(playback_row 1)" || fail "the default row did nothing"
wait_log_count 'Max loading delay was' 1 600 || fail "the demo never loaded"
# The riders stand at the gate until it drops (the track's script names
# the moment): the Skip key ("/") runs the demo on a second a press. The
# view is the first demo rider's: at the gate, then riding.
wait_frames 10
frame playback-gate
drops=$(log_count 'Gate dropped at')
xdotool key --repeat 16 --delay 50 slash
wait_log_count 'Gate dropped at' $((drops + 1)) 300 || fail "the demo never reached its gate drop"
wait_frames 10
frame playback-riding
moved "playback-gate" "playback-riding" || fail "the demo's riders did not move"

escape_to_main_menu || fail "Escape did not open the main menu"
click_page "$main_playback" yes || fail "Playback Race did not open"
click "$playback_mode" || fail "Playback Mode did not change"
frame race-against
click "$(playback_row 1)" || fail "the default row did nothing"
wait_log_count 'Max loading delay was' 2 600 || fail "the race against the demo never loaded"
grep -q "Can't record and play from same file - recording disabled" "$log" ||
  fail "no refusal to record over the demo played"
# The player's view at the gate, then 2 s after it dropped with the
# throttle held: the bike has left the gate (or reared up on it).
wait_frames 10
frame against-gate
drops=$(log_count 'Gate dropped at')
xdotool keydown x
wait_log_count 'Gate dropped at' $((drops + 1)) 300 || fail "the gate never dropped"
sleep 2
frame against-riding
xdotool keyup x
moved "against-gate" "against-riding" || fail "the player did not ride"
cmp -s recorded.bkdemo "$demo" || fail "racing against the demo changed it"

# The broken demo, played alone (Playback Mode back to Playback Only).
escape_to_main_menu || fail "Escape did not open the main menu"
click_page "$main_playback" yes || fail "Playback Race did not open"
click "$playback_mode" || fail "Playback Mode did not change"
click "$(playback_row 0)" || fail "the broken row did nothing"
wait_log_count "Can't play demo" 1 300 || fail "the broken demo was not refused"
frame broken-refused
main_menu_up || escape_to_main_menu || fail "Escape did not open the main menu"
[ "$(log_count '] Resetting$')" = 3 ] || fail "$(log_count '] Resetting$') resets, expected 3"
quit_from_menu
cmp -s recorded.bkdemo "$demo" || fail "the recorded demo changed"
echo "first session $((first_done - started)) s, second $(($(date +%s) - first_done)) s"
