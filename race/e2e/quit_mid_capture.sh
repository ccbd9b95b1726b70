#!/usr/bin/env bash
# A close request while the controls page waits for a key ends the game in
# order: the watched axes are closed, nothing leaks, and the binding that
# was being captured keeps its key.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
# The main menu takes keys once the game's frames run (no race loads
# without a track on the command line).
wait_for_menu() { wait_running "$started_at" || fail "the game never showed its main menu"; }
fail() { echo "$*"; tail -n 40 "$log" 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }
mkdir -p "$user"
printf 'video_mode=Windowed\nxres=640\nyres=480\n' >"$user/config"

started_at=$(frames_shown)
"$exe" --nosound --debug 2>err.txt &
pid=$!
wait_for_window "$pid" || fail "no window"
wait_for_menu
win=$(window_of "$pid")
xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowactivate --sync "$win" 2>/dev/null
key() { press "$@"; }
key Down Down Down Down Down Down Down
key Return
key Down
key Return  # the Throttle row: "<<PRESS A KEY>>"
wait_log 'Watching pots' || fail "no capture started"
[ -n "${BK_CAPTURE:-}" ] && snap "$BK_CAPTURE"
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
grep -q 'Done watching pots' "$log" || fail "the capture was not ended at shut-down"
grep -q 'ERROR: \(Address\|Leak\|Undefined\)Sanitizer\|runtime error' err.txt && fail "sanitizer report"
grep -qx 'throttle_key=(k)x' "$user/config" || fail "config: $(grep throttle_key "$user/config")"
exit 0
