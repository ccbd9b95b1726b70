#!/usr/bin/env bash
# A new player's first race, from an empty per-user folder with the default
# settings and keys: main menu -> New Race -> 1 lap, 3 robots -> Start. The
# player's bike is ridden one whole lap by key presses alone (key_pilot.py
# holds "x" and leans with Left and Right, steering along the gates as a
# player would, from the on-bike view's --print-orientation lines); the run
# waits for the results, which must list the player (999) with its lap and
# a time, then quits from the menu.
# With BK_CAPTURE set, a frame of every step is saved as $BK_CAPTURE-*.png.
set -u
exe=$(realpath "$1")
data=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
xvfb_screen=640x480x24
. "$here/lib.sh"
. "$here/menu_lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
stop=$dir/pilot.stop
pilot=
# On standard error: start_game's standard output is the game's.
fail() {
  touch "$stop"
  [ -n "$pilot" ] && wait "$pilot" 2>/dev/null
  {
    echo "$*"
    tail -n 40 "$log" 2>/dev/null | cut -c1-200
    tail -n 20 err.txt 2>/dev/null
  } >&2
  exit 1
}

start_game --print-orientation >"$dir/orientation.txt"
[ -e "$user/config" ] && fail "a config before the first run"
frame main-menu
click_page "$main_new_race" yes || fail "New Race did not open"
point "$new_race_laps" || fail "Laps was not selected"
for _ in 1 2 3 4; do key Left || fail "Laps did not change"; done
# Gates 18, 19 and 21 stay Robot, Gate 20 Human; Gates 22 and 23 go from
# Robot through the two other robots to Empty.
for g in 22 23; do
  for _ in 1 2 3; do click "$(gate $g)" || fail "Gate $g did not change"; done
done
frame race-set
click "$page_start" || fail "Start did nothing"
wait_log_count 'Max loading delay was' 1 600 || fail "the race never loaded"
# The race opens in the on-bike view, whose lines the pilot reads.
wait_log_count 'Gate dropped at' 1 600 || fail "the gate never dropped"
frame gate-dropped
python3 "$here/key_pilot.py" "$dir/orientation.txt" "$data/quarrybend/timing_gates" --stop "$stop" &
pilot=$!
# The results are written when every rider is home: a lap of the pilot's
# takes about 80 s of race time; the guard is far above any honest run.
results_or_pilot_gone() { [ -s "$user/results.txt" ] || ! kill -0 "$pilot" 2>/dev/null; }
wait_pid=$pid wait_until results_or_pilot_gone
[ -s "$user/results.txt" ] || kill -0 "$pilot" 2>/dev/null || fail "the pilot stopped"
touch "$stop"
wait "$pilot"
pilot=
[ -s "$user/results.txt" ] || fail "no results.txt: $(tail -n 3 "$dir/orientation.txt")"
wait_frames
frame results
cat "$user/results.txt"
grep -aqE '^ *999 \| +[^|]+ \| +1 \| +[0-9]+:[0-9]{2}\.[0-9]{3} \| ' "$user/results.txt" ||
  fail "the results do not list the player (999) with one lap and a time"
escape_to_main_menu || fail "Escape did not open the main menu"
quit_by_menu
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
grep -qx 'reverse_steering=Yes' "$user/config" || fail "the config does not keep Reversed Steering's default, Yes"
grep -qx 'laps=1.000000' "$user/config" || fail "not a race of one lap: $(grep '^laps=' "$user/config")"
sanitizer_quiet || fail "a sanitizer report: $(grep -m 3 'ERROR\|runtime error' err.txt)"
