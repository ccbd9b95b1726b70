#!/usr/bin/env bash
# bkdata build writes the sample series and prints the stock parts digest;
# bkdata check reads a series with its standings through the game's reader
# and refuses malformed ones with the reason and exit code 1.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
unset BK_HOME
out=$("$exe" build "$dir/data") || { echo "build failed: $out"; fail=1; }
case $out in
  *"stock parts digest "[0-9a-f]*) ;;
  *) echo "no stock parts digest: $out"; fail=1 ;;
esac
shapes=$("$exe" shapes "$dir/shapes" | grep "stock parts digest")
[ -n "$shapes" ] && case $out in *"$shapes"*) ;; *) echo "shapes and build digests differ"; fail=1 ;; esac

out=$("$exe" check "$dir/data/quarrybend_cup.series") || { echo "check failed: $out"; fail=1; }
case $out in
  *'series "Quarry Bend Cup", 4 riders, Amateur, 2 events, 0 done'*) ;;
  *) echo "unexpected summary: $out"; fail=1 ;;
esac
printf '1 2 3 4 5\n' >"$dir/data/quarrybend_cup.series_standings"
out=$("$exe" check "$dir/data/quarrybend_cup.series")
case $out in *"1 done"*) ;; *) echo "standings not read: $out"; fail=1 ;; esac

refused() {  # file text, expected reason
  printf '%s' "$1" >"$dir/data/bad.series"
  local err rc
  err=$("$exe" check "$dir/data/bad.series" 2>&1)
  rc=$?
  [ "$rc" = 1 ] || { echo "bad.series: exit code $rc, want 1"; fail=1; }
  case $err in
    *"$2"*) ;;
    *) echo "bad.series: no reason given: $err"; fail=1 ;;
  esac
}
refused $'T\n160 Novice\n' "rider count outside 0..159"
refused $'T\n0 Novice\n1\nE nosuchtrack 1 2\n' "not installed"
refused $'T\n0 Novice\n-1\n' "negative event count"
refused '' "no title"
exit $fail
