#!/usr/bin/env bash
# bkdata check reads ANIM1 sequences through the game's reader: a summary for
# good files, the reader's reason and exit code 1 for bad ones.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
problem() { echo "$*"; fail=1; }

"$exe" image png 64 16 "$dir/a.png" >/dev/null || problem "image a.png failed"
"$exe" image png 64 16 "$dir/b.png" >/dev/null || problem "image b.png failed"
"$exe" image png-rgba 64 16 "$dir/c.png" >/dev/null || problem "image c.png failed"
"$exe" image j7 64 16 "$dir/d.j7" >/dev/null || problem "image d.j7 failed"

printf 'ANIM1\n4 2 16 1\n0 1 1 0\nPNG %s\nPNG %s\n' "$dir/a.png" "$dir/b.png" >"$dir/wave.seq"
{ printf 'ANIM1 2 2 5 0\n0 1\n'; cat "$dir/d.j7"; printf '\nPNG %s\n' "$dir/c.png"; } >"$dir/mixed.seq"
out=$("$exe" check "$dir/wave.seq" "$dir/mixed.seq") || problem "check refused good sequences: $out"
echo "$out" | grep -qx "$dir/wave.seq: animation, 4 steps, 2 frames, 64 x 16, RGB, 16 ticks per step, looping" ||
  problem "check wave: '$out'"
echo "$out" | grep -qx "$dir/mixed.seq: animation, 2 steps, 2 frames, 64 x 16, RGBA, 5 ticks per step, once" ||
  problem "check mixed: '$out'"

# file, what the refusal must say
while IFS='|' read -r file text reason; do
  printf "$text" >"$dir/$file"
  out=$("$exe" check "$dir/$file")
  rc=$?
  [ $rc -eq 1 ] || problem "check $file: exit $rc, want 1"
  echo "$out" | grep -qF "$reason" || problem "check $file printed '$out', want '$reason'"
done <<LIST
ticks.seq|ANIM1 1 1 0 1\n0\nPNG $dir/a.png\n|Bad .seq ticks per step
entry.seq|ANIM1 1 1 4 1\n1\nPNG $dir/a.png\n|Sequence entry 0 of
word.seq|ANIM1 1 1 4 1\n0\nGIF $dir/a.png\n|Error reading .seq frame 0
eof.seq|ANIM1 1 1 4 1\n0\nPNG|EOF while reading .seq
missing.seq|ANIM1 1 1 4 1\n0\nPNG $dir/none.png\n|Can't read $dir/none.png
depth.seq|ANIM1 2 2 4 1\n0 1\nPNG $dir/a.png\nPNG $dir/c.png\n|Depth mismatch reading .seq
huge.seq|ANIM1 1000000000 1 4 1\n|Bad .seq sizes
magic.seq|ANIM2 1 1 4 1\n|not an ANIM1 file
LIST
exit $fail
