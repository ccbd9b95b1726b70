#!/usr/bin/env bash
# bkdata check reads a "config" file through the game's reader: a good one
# gives a summary, a bad one names each refused line and exits 1.
set -u
exe=$1
. "$(dirname "$0")/scratch_home.sh"

mkdir -p "$dir/good" "$dir/bad"
printf 'xres=800\nyres=600\nskill=Expert\nfov=95.000000\n\nthrottle_key=(k)q\nleft_key=(-1,1)Pad.axis[0]\n' >"$dir/good/config"
out=$("$exe" check "$dir/good/config") || { echo "good config refused: $out"; fail=1; }
case $out in
  *"config, 7 lines, all taken"*) ;;
  *) echo "unexpected summary: $out"; fail=1 ;;
esac

printf 'xres=12abc\nfov=95\nskill=expert\nfov =1\nthrottle_key=(0.5,0.5)Pad\n' >"$dir/bad/config"
out=$("$exe" check "$dir/bad/config")
rc=$?
[ "$rc" = 1 ] || { echo "bad config: exit code $rc, want 1"; fail=1; }
for want in 'config line 1: xres=12abc: not a whole number' 'config line 3: skill=expert: names no option' \
            'config line 4: unknown key "fov "' 'config line 5: throttle_key=(0.5,0.5)Pad: axis range is empty' \
            'config, 4 of 5 lines refused'; do
  case $out in
    *"$want"*) ;;
    *) echo "bad config: missing '$want' in: $out"; fail=1 ;;
  esac
done
exit $fail
