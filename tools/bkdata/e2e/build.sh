#!/usr/bin/env bash
# bkdata build makes the game data root: zzzz.saf with the fonts, the title
# picture and the HUD images, and beside it the sample track, bikes and
# shapes. Two runs give
# the same bytes, and the digest it prints is the one the game checks.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
problem() { echo "$*"; fail=1; }

out=$("$exe" build "$dir/one") || problem "build failed: $out"
"$exe" build "$dir/two" >/dev/null || problem "second build failed"
diff -r "$dir/one" "$dir/two" >/dev/null || problem "two builds differ"

names=$("$exe" list "$dir/one/zzzz.saf" | cut -d' ' -f2)
want="font.png
numbers-condensed.png
numbers.png
pitboard.png
shifter.png
tach.png
title.png"
[ "$names" = "$want" ] || problem "archive members: got '$names'"
"$exe" check "$dir/one/zzzz.saf" "$dir/one/quarrybend" "$dir/one/generic_frame.shp" "$dir/one/rider_body.png" \
  >/dev/null || problem "check refused the generated data"
[ ! -e "$dir/one/zzzz.saf.parts" ] || problem "the staging folder was left behind"

# The game identifies its archive by the digest of the first MiB.
head -c 1048576 "$dir/one/zzzz.saf" >"$dir/head"
digest=$("$exe" digest "$dir/head")
echo "$out" | tail -n 1 | grep -qx "game data digest $digest" || problem "printed digest: '$(echo "$out" | tail -n 1)', want $digest"

# A place it cannot write: a message and exit code 1.
: >"$dir/file"
err=$("$exe" build "$dir/file/sub" 2>&1 >/dev/null)
rc=$?
[ "$rc" = 1 ] || problem "unwritable output: exit code $rc, want 1"
[ -n "$err" ] || problem "unwritable output: no message"
"$exe" build >/dev/null 2>&1
[ $? = 2 ] || problem "build without OUT: want exit code 2"
exit $fail
