#!/usr/bin/env bash
# Playing the sample demo named on the command line: the race resets on
# the demo's track and runs until SIGTERM, exit code 0. A malformed demo is
# refused with its reason in lastlog.txt, the main menu stays, exit code 0.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home
write_windowed_config

fail() { echo "$*"; cat err.txt 2>/dev/null; tail -n 40 x.log 2>/dev/null; exit 1; }

run_for() {  # seconds, arguments...
  local seconds=$1
  shift
  local started_at
  started_at=$(frames_shown)
  PAVO_LOGFILE=">x.log" "$exe" --nosound "$@" 2>err.txt &
  local pid=$!
  wait_for_window "$pid" || { kill -KILL "$pid"; wait "$pid"; fail "$*: no window"; }
  # Once start-up (and the demo's race, if it loads) is over the frames
  # run: ten of them for each second asked for.
  wait_running "$started_at" $((seconds * 10)) || fail "$*: the game's frames never ran"
  kill -s TERM "$pid"
  wait_or_kill "$pid" x.log
}

run_for 3 "$data/demos/quarrybend.bkdemo"
rc=$?
[ "$rc" = 0 ] || fail "sample demo: exit code $rc"
grep -q '] Resetting$' x.log || fail "no reset"
grep -q 'Max loading delay was' x.log || fail "the reset did not finish"
grep -q "Can't play demo" x.log && fail "the sample demo was refused"
grep -q "Can't load track" x.log && fail "the demo's track did not load"
grep -q 'Sample race on Quarry Bend' x.log || fail "the demo's text chunk was not shown"

printf 'BK06 2 0 0\nquarrybend\ncrf250\n' >bad.bkdemo
run_for 1 bad.bkdemo
rc=$?
[ "$rc" = 0 ] || fail "malformed demo: exit code $rc"
grep -q "Can't play demo \"bad.bkdemo\": a rider's lines are missing or cut" x.log || fail "no refusal in the log"
grep -q '] Resetting$' x.log && fail "a race started on a refused demo"
exit 0
