#!/usr/bin/env bash
# bkdata check on a lines file: the track beside it loads for its segment
# count, then the file through the game's reader; a sound file gives lines
# and samples per segment, a damaged one its first fault and exit code 1.
set -u
exe=$1
. "$(dirname "$0")/scratch_home.sh"
"$exe" track quarrybend "$dir" >/dev/null || { echo "track quarrybend failed"; exit 1; }
track=$dir/quarrybend
record='2 100 200 0 1000000 1000000 0 0 0
[1.5 2 3] 30 0.25
[2.5 2 3] -31 -0.5'
{ echo "ct03 13"; echo 2; echo "$record"; echo "$record"; for i in $(seq 12); do echo 0; done; echo 1; echo "$record"; } \
  >"$track/lines_novice"
# 13 segments: the extra segment count line is past the end.
{ echo "ct03 13"; echo 2; echo "$record"; echo "$record"; for i in $(seq 11); do echo 0; done; echo 1; echo "$record"; } \
  >"$track/lines_amateur"
out=$("$exe" check "$track/lines_amateur") || { echo "good lines refused: $out"; fail=1; }
case $out in
  *"lines, 3 in 13 segments (0: 2 lines 4 samples; 1: 0 lines 0 samples;"*"; 12: 1 lines 2 samples)"*) ;;
  *) echo "unexpected summary: $out"; fail=1 ;;
esac

check_bad() {  # name, text, expected fault
  printf '%s' "$2" >"$track/$1"
  out=$("$exe" check "$track/$1")
  rc=$?
  [ "$rc" = 1 ] || { echo "$1: exit code $rc, want 1: $out"; fail=1; }
  case $out in
    *"$3"*) ;;
    *) echo "$1: want '$3' in: $out"; fail=1 ;;
  esac
}
check_bad lines_novice "$(cat "$track/lines_novice")" "more after the last segment"
check_bad lines_header $'ct03 12\n0\n' "not a lines file for this track's 13 segments"
check_bad lines_zero $'ct03 13\n1\n0 1 2 0 1000000 1000000 0 0 0\n' "segment 0 record 0 is malformed"
check_bad lines_cut $'ct03 13\n2\n2 100 200 0 1000000 1000000 0 0 0\n[1.5 2 3] 30 0.25\n' "segment 0 record 0 is malformed"
check_bad lines_short $'ct03 13\n1\n1 1 1 1 1 1 1 1 1\n[0 0 0] 1 0\n0\n' "ends before segment 2"
check_bad lines_huge $'ct03 13\n2147483647\n1 1 1 1 1 1 1 1 1\n[0 0 0] 1 0\n' "ends in segment 0 at record 1"
exit $fail
