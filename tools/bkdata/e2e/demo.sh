#!/usr/bin/env bash
# bkdata demo writes demos of versions 4, 5 and 6, and bkdata check reads
# each through the game's reader: one summary line, a damaged one with the
# byte where it ends, a refused one with its reason and exit code 1. (The
# game data's sample demo is recorded by `bkdata record`: record.sh.)
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
unset BK_HOME
for v in 4 5 6; do
  "$exe" demo $v "$dir/v$v.bkdemo" >/dev/null || { echo "demo $v failed"; fail=1; }
done
out=$("$exe" check "$dir/v4.bkdemo" "$dir/v5.bkdemo" "$dir/v6.bkdemo") || { echo "check failed: $out"; fail=1; }
case $out in
  *"v4.bkdemo: demo version 4, track 'quarrybend', 2 riders, 2561 tick records"*) ;;
  *) echo "v4: $out"; fail=1 ;;
esac
case $out in
  *"v5.bkdemo: demo version 5, track 'quarrybend', 2 riders, 2561 tick records"*) ;;
  *) echo "v5: $out"; fail=1 ;;
esac
case $out in
  *"v6.bkdemo: demo version 6, track 'quarrybend', 2 riders, "*"chunks (states 161, text 1, commands 1, terrain 80, other 0), ticks 0 to 2560"*) ;;
  *) echo "v6: $out"; fail=1 ;;
esac
"$exe" build "$dir/data" >/dev/null || { echo "build failed"; fail=1; }

# A line per rider: its number, bike, states and how far it got from where
# it started, in feet once the track is found along the data root.
case $out in *"v6.bkdemo: rider 1: number '12', bike 'crf250(2008)', 641 states, moved "*" of the terrain box"*) ;;
  *) echo "v6 riders without the track: $out"; fail=1 ;; esac
out=$(BK_HOME=$dir/data "$exe" check "$dir/v6.bkdemo")
for rider in "1: number '12', bike 'crf250(2008)'" "2: number '47', bike 'kx125'"; do
  feet=$(printf '%s\n' "$out" | sed -n "s/.*rider $rider, 641 states, moved \([0-9.]*\) ft$/\1/p")
  awk -v f="${feet:-0}" 'BEGIN { exit !(f > 100) }' || { echo "rider $rider did not move 100 ft: $out"; fail=1; }
done

# Cut in the middle of a chunk: read up to there, the place named.
size=$(stat -c %s "$dir/v6.bkdemo")
head -c $((size - 10)) "$dir/v6.bkdemo" >"$dir/cut.bkdemo"
out=$("$exe" check "$dir/cut.bkdemo") || { echo "a damaged demo is still read: $out"; fail=1; }
case $out in *"damaged: a chunk at byte "*" passes the end"*) ;; *) echo "cut: $out"; fail=1 ;; esac

printf 'BK06 161 0 0\nquarrybend\n' >"$dir/bad.bkdemo"
out=$("$exe" check "$dir/bad.bkdemo")
rc=$?
[ "$rc" = 1 ] || { echo "bad.bkdemo: exit code $rc, want 1"; fail=1; }
case $out in *"demo refused: rider count outside 0..160"*) ;; *) echo "bad: $out"; fail=1 ;; esac
exit $fail
