#!/usr/bin/env bash
# bkrace on the generated data: a race that cannot end within its tick
# budget exits 1 with its message and writes nothing (no results, no
# standings); bad command lines and unknown tracks or series exit 1 with a
# message.
set -u
exe=$1
data=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
fail=0
export BK_HOME=$data XDG_DATA_HOME=$home

expect_refusal() {  # expected message, arguments...
  local want=$1 err rc
  shift
  err=$("$exe" "$@" 2>&1 >/dev/null)
  rc=$?
  [ $rc -eq 1 ] || { echo "bkrace $*: exit $rc, expected 1"; fail=1; }
  case $err in *"$want"*) ;; *) echo "bkrace $*: '$err' lacks '$want'"; fail=1 ;; esac
}

expect_refusal "no final results after 10 ticks; nothing written" --riders 4 --laps 2 --ticks 10 quarrybend
expect_refusal "no final results after 10 ticks; nothing written" --series quarrybend_cup --ticks 10
left=$(find "$home" -type f | head -n 5)
[ -z "$left" ] || { echo "files written by a race without results: $left"; fail=1; }

# A track whose timing gates are damaged has no laps: refused at once,
# with the line that ended the reading, rather than run out of ticks.
gated=$(mktemp -d)
trap 'rm -rf "$home" "$gated"' EXIT
for f in "$data"/*; do ln -s "$f" "$gated/"; done
rm "$gated/quarrybend"
cp -r "$data/quarrybend" "$gated/quarrybend"
printf 'garbage\n' >"$gated/quarrybend/timing_gates"
BK_HOME=$gated expect_refusal "track 'quarrybend' has no timing gates, so no race on it can end: timing_gates line 1: starts with 'garbage'" --riders 4 --laps 1 quarrybend
: >"$gated/quarrybend/timing_gates"
BK_HOME=$gated expect_refusal "no race on it can end: timing_gates: the file is empty" --riders 4 --laps 1 quarrybend
left=$(find "$home" -type f | head -n 5)
[ -z "$left" ] || { echo "files written by a race without gates: $left"; fail=1; }

expect_refusal "--riders takes a whole number from 1 to 160, not 'many'" --riders many quarrybend
expect_refusal "--ticks needs a value" quarrybend --ticks
expect_refusal "unknown option '--fast'" --fast quarrybend
expect_refusal "usage: bkrace" --laps 2
expect_refusal "a race needs laps or minutes" --laps 0 quarrybend
expect_refusal "can't load track 'nowhere'" --ticks 10 nowhere
expect_refusal "no series 'nothing' in the data" --series nothing
expect_refusal "takes its track, riders, laps and minutes from the series" --series quarrybend_cup --laps 2
exit $fail
