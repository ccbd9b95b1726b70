#!/usr/bin/env bash
# bkrace against the per-user folder a player really has: the README's own
# series run from a fresh folder writes results and standings; damaged
# per-user lines files still give a race with final results; a results.txt
# that cannot be written is named with its reason while the final order
# still reaches standard output.
set -u
exe=$1
data=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail=0
export BK_HOME=$data

fresh() {  # a new, empty per-user folder
  home=$(mktemp -d "$root/home.XXXX")
  export XDG_DATA_HOME=$home HOME=$home
}

expect_exit() {  # code, what, arguments...
  local want=$1 what=$2 rc
  shift 2
  "$exe" "$@" >"$root/out" 2>"$root/err"
  rc=$?
  [ $rc -eq "$want" ] || { echo "$what: bkrace $*: exit $rc, expected $want: $(tail -n 2 "$root/err")"; fail=1; }
}

# The series from a fresh folder: both events give results and standings,
# then the series is complete.
fresh
for event in 1 2; do
  expect_exit 0 "series event $event" --series quarrybend_cup
  grep -q "Final results" "$root/out" || { echo "series event $event: no final order"; fail=1; }
done
for f in results.txt quarrybend_cup.series_standings; do
  [ -s "$home/Brakkan/$f" ] || { echo "series: no $f written"; fail=1; }
done
expect_exit 1 "finished series" --series quarrybend_cup
grep -q "is complete (2 events done)" "$root/err" || { echo "finished series: $(cat "$root/err")"; fail=1; }

# Damaged per-user lines files: the race still ends.
shipped=$data/quarrybend/lines_novice
damage() {  # name, then the damaged file on standard input
  fresh
  mkdir -p "$home/Brakkan/quarrybend"
  cat >"$home/Brakkan/quarrybend/lines_novice"
  expect_exit 0 "lines file $1" --riders 4 --laps 1 quarrybend
}
head -c 15000 "$shipped" | damage "cut at 15000 bytes"
: | damage "empty"
{ head -c 3000 "$shipped"; head -c 4000 /dev/urandom; tail -c +7001 "$shipped"; } | damage "binary junk"
{ head -c 5000 "$shipped"; head -c 2000 /dev/zero; tail -c +7001 "$shipped"; } | damage "NUL bytes"
sed '4s/.*/[nan inf 1] 3 4/; 2s/.*/-5/' "$shipped" | damage "NaN and a negative count"

# results.txt that cannot be written: the reason, and the order anyway.
fresh
mkdir -p "$home/Brakkan/results.txt"
expect_exit 1 "results.txt a folder" --riders 2 --laps 1 quarrybend
grep -q "could not be written: Can't write results.txt: Is a directory" "$root/err" ||
  { echo "results.txt a folder: $(cat "$root/err")"; fail=1; }
grep -q "Final results" "$root/out" || { echo "results.txt a folder: no final order on standard output"; fail=1; }
exit $fail
