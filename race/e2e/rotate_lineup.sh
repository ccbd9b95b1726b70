#!/usr/bin/env bash
# "--rotate-lineup -1": a New Race started from a config with a 2-stroke
# robot, a 4-stroke robot and the player at Gates 18-20 races that line-up,
# and New Race then shows it one gate earlier (the player at Gate 19); the
# config keeps the rotated gates. Run under the sanitizers, nothing is
# reported. With BK_CAPTURE set, frames are saved as $BK_CAPTURE-*.png.
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
mkdir -p "$user"
printf '%s\n' track=quarrybend 'slot17=Robot (2 stroke)' 'slot18=Robot (4 stroke)' slot19=Human \
  slot20=Empty slot21=Empty slot22=Empty >"$user/config"
started=$(date +%s)

start_game --rotate-lineup -1
click_page "$main_new_race" yes || fail "New Race did not open"
frame new-race
click "$page_start" || fail "Start did nothing"
wait_log_count 'Max loading delay was' 1 600 || fail "the race never loaded"
escape_to_main_menu || fail "Escape did not open the main menu"
click_page "$main_new_race" yes || fail "New Race did not open again"
frame new-race-rotated
back_to_main_menu || fail "Back to Main Menu did nothing"
quit_by_menu
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
sanitizer_quiet || fail "a sanitizer report: $(grep -m 3 'ERROR\|runtime error' err.txt)"
[ "$(log_count '] Resetting$')" = 1 ] || fail "$(log_count '] Resetting$') race resets, expected 1"
for want in 'slot16=Robot (2 stroke)' 'slot17=Robot (4 stroke)' slot18=Human slot19=Empty slot20=Empty; do
  grep -qxF "$want" "$user/config" || fail "config lacks $want: $(grep -E '^slot(1[5-9]|2[0-2])=' "$user/config")"
done
echo "rotated in $(($(date +%s) - started)) s"
