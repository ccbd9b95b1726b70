#!/usr/bin/env bash
# The start-up lists on the generated data: with --debug the sample series
# is logged with its events as it is read, a demo in the per-user demos
# folder is listed under its display name, a malformed series is dropped
# with one line naming it, and the run ends in order with exit code 0.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

fail() { echo "$*"; cat err.txt 2>/dev/null; cat x.log 2>/dev/null; exit 1; }

mkdir -p xdg/Brakkan/demos/old
printf 'x' >xdg/Brakkan/demos/old/first.race.bkdemo
printf 'T\n160 Novice\n' >xdg/Brakkan/broken.series

PAVO_LOGFILE=">x.log" "$exe" --track quarrybend --warp --debug 2>err.txt &
pid=$!
wait_for_window "$pid" || { kill -KILL "$pid"; wait "$pid"; fail "no window"; }
wait_pid=$pid wait_log 'GL_EXTENSIONS: ' x.log
kill -s TERM "$pid"
wait_or_kill "$pid" x.log
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc"
grep -q 'series quarrybend_cup.series (Quarry Bend Cup)' x.log || fail "no series line"
grep -q '  event quarrybend (Heat)' x.log || fail "no heat event line"
grep -q '  event quarrybend (Final)' x.log || fail "no final event line"
grep -q 'demos/old/first.race.bkdemo -> first.race' x.log || fail "no demo line"
[ "$(grep -c "Series 'broken.series' dropped: rider count outside 0..159" x.log)" = 1 ] || fail "no drop line"
exit 0
