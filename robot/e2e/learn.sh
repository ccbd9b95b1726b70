#!/usr/bin/env bash
# The real game on the sample track keeps its robot lines per user: with
# --learn the shipped lines come back written into the per-user folder at
# shut-down (their test counts may only grow) and, with --debug, the
# robots' line picks are logged; with --nolearn nothing is
# written; a damaged per-user copy is logged and the game runs on.
set -u
exe=$1
data=$2
. "$(dirname "$0")/../../race/e2e/lib.sh"
enter_temp_home
write_windowed_config
export PAVO_LOGFILE=">x.log"
fail=0
shipped=$data/quarrybend/lines_novice
mine=$dir/xdg/Brakkan/quarrybend/lines_novice
[ -s "$shipped" ] || { echo "no shipped lines in $data"; exit 1; }

# Runs the game until its race is reset (however slow the machine), then
# asks it to close as `timeout -s TERM` would; the game's exit code.
run() {
  rm -f x.log
  "$exe" --track quarrybend --nosound "$@" </dev/null >/dev/null 2>err.txt &
  local pid=$!
  wait_pid=$pid wait_log "Max loading delay was" x.log
  # Some frames of the race.
  wait_frames 10
  kill -TERM "$pid" 2>/dev/null
  wait_or_kill "$pid" x.log
}

run --learn --debug
rc=$?
[ "$rc" = 0 ] || { echo "--learn: exit code $rc"; cat err.txt; tail -n 20 x.log; fail=1; }
grep -q "auto pilot: picking" x.log || { echo "--debug: no line picks logged"; fail=1; }
if [ ! -s "$mine" ]; then
  echo "--learn wrote no per-user lines"
  fail=1
else
  # Every line comes back sample for sample; its counts may have grown.
  cmp -s <(grep '^\[' "$shipped") <(grep '^\[' "$mine") || { echo "--learn: the samples differ"; fail=1; }
  paste -d' ' <(grep -v '^\[' "$shipped") <(grep -v '^\[' "$mine") | awk '
    NR == 1 { if ($0 != "ct03 13 ct03 13") bad = 1; next }
    NF == 18 { if ($1 != $10 || $2 != $11 || $3 != $12 || $13 < $4) bad = 1; next }
    { if ($1 != $2) bad = 1 }
    END { exit bad }' || { echo "--learn: the records differ"; fail=1; }
fi

rm -rf "$dir/xdg/Brakkan/quarrybend"
run --nolearn
rc=$?
[ "$rc" = 0 ] || { echo "--nolearn: exit code $rc"; fail=1; }
[ -e "$mine" ] && { echo "--nolearn wrote $mine"; fail=1; }

mkdir -p "$(dirname "$mine")"
printf 'ct03 13\n2\n0 1 2 0 1000000 1000000 0 0 0\n1 1 2 0 1 1 0 0 0\n[0 0 0] 1e999 0\n' >"$mine"
run --nolearn
rc=$?
[ "$rc" = 0 ] || { echo "damaged per-user lines: exit code $rc"; fail=1; }
grep -q "segment 0 record 0 is malformed" x.log || { echo "the damaged record was not logged"; fail=1; }
grep -q "segment 0 record 1 is malformed" x.log || { echo "the non-finite sample was not logged"; fail=1; }
exit $fail
