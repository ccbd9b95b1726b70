#!/usr/bin/env bash
# The sample track's script runs in a real race: its load and gate lines
# reach the log with no script error, and SIGTERM ends the run with 0. A
# track whose tick handler loops forever is stopped once with its line, the
# race goes on (frames keep coming) and SIGTERM still ends it with 0.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home
write_windowed_config
user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; tail -n 30 "$log" 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }

# Waits for the log to hold line $2 (only a hang ends the wait; $1, once
# its deadline in tenths of a second, stays for the calls written for it).
wait_for_line() {
  wait_pid=$pid wait_log "$2"
}

"$exe" --track quarrybend --nosound --warp 2>err.txt &
pid=$!
wait_for_line 400 "Gate dropped at" || { kill -KILL "$pid"; wait "$pid"; fail "no gate line from the script"; }
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
grep -q "Quarry Bend: " "$log" || fail "no load line from the script"
grep -q "javascript error" "$log" && fail "a script error"

# A data root like the build's whose quarrybend script hangs in its tick
# handler: the rest of the data is linked, not copied.
root=$dir/data
mkdir -p "$root/quarrybend"
for f in "$data"/*; do [ "$(basename "$f")" = quarrybend ] || ln -s "$f" "$root/"; done
for f in "$data"/quarrybend/*; do [ "$(basename "$f")" = frills.js ] || ln -s "$f" "$root/quarrybend/"; done
printf 'bk.message("looping script loaded");\nbk.tic_handler = function () { for (;;) {} };\n' \
  >"$root/quarrybend/frills.js"
rm -f "$log"
frame_bytes=$((15 + 640 * 480 * 3))
BK_HOME=$root "$exe" --track quarrybend --nosound --lock-fps 16 --record-video >v.ppm 2>err.txt &
pid=$!
wait_for_line 400 "stopped: it ran over" || { kill -KILL "$pid"; wait "$pid"; fail "the looping script was not stopped"; }
frames_then=$(($(stat -c %s v.ppm) / frame_bytes))
# The race goes on: ten more frames.
more=0
wait_pid=$pid wait_file v.ppm $(((frames_then + 10) * frame_bytes)) && more=1
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$more" = 1 ] || fail "no frames came after the script was stopped"
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
grep -q "looping script loaded" "$log" || fail "the looping script did not load"
n=$(grep -c 'Track script "@quarrybend/frills.js" stopped: it ran over 50 ms' "$log")
[ "$n" = 1 ] || fail "the stop line is in the log $n times, expected once"
exit 0
