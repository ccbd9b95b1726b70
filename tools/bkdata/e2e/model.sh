#!/usr/bin/env bash
# bkdata check reads ".jm" models through the game's reader: counts and LOD
# variants for good files, the refusal and exit code 1 for bad ones.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
problem() { echo "$*"; fail=1; }

tri='3 1
0 0 0 0 0 1 0 0
1 0 0 0 0 1 1 0
0 1 0 0 0 1 0 1
0 1 2'
printf 'JM1\n10 1 1 1 1 %s\n-1 0.5 1 1 1 %s\n' "$tri" "$tri" >"$dir/bike.jm"
printf 'JM1\n10 1 1 1 1 %s\n' "$tri" >"$dir/bike_lod4.jm"
printf 'JM1\n10 1 1 1 1 %s\n' "$tri" | gzip -n >"$dir/bike_lod6.jm.gz"
printf 'JM2 2 rig\n10 1 1 1 1 %s\n' "3 1
0 0 0 0 0 1 0 0 1 0
1 0 0 0 0 1 1 0 0 1
0 1 0 0 0 1 0 1 0.5 0.5
0 1 2" >"$dir/arm.jm"

out=$("$exe" check "$dir/bike.jm" "$dir/arm.jm") || problem "check refused good models: $out"
echo "$out" | grep -q "bike.jm: model, 2 sub-meshes, 6 vertices, 2 triangles, 0 bones, reflective; LOD variants: $dir/bike_lod4.jm at 16 (1 triangles), $dir/bike_lod6.jm at 64 (1 triangles)" ||
  problem "check bike: '$out'"
echo "$out" | grep -q "arm.jm: model, 1 sub-meshes, 3 vertices, 1 triangles, 2 bones$" || problem "check arm: '$out'"

printf 'JM3\n' >"$dir/future.jm"
printf 'JM1\n10 1 1 1 1 99999999 1\n' >"$dir/huge.jm"
printf 'JM1\n10 1 1 1 1 3 1\n0 0 0\n' >"$dir/short.jm"
for f in future huge short missing; do
  out=$("$exe" check "$dir/$f.jm")
  rc=$?
  [ $rc -eq 1 ] || problem "check $f.jm: exit $rc, want 1"
  echo "$out" | grep -q "^$dir/$f.jm: " || problem "check $f.jm printed '$out'"
done
out=$("$exe" check "$dir/future.jm")
echo "$out" | grep -q "unknown version 3" || problem "future: '$out'"
out=$("$exe" check "$dir/huge.jm")
echo "$out" | grep -q "Bad counts in model '$dir/huge.jm': 99999999 vertices" || problem "huge: '$out'"

# A good file beside a bad one still fails the run.
"$exe" check "$dir/bike.jm" "$dir/huge.jm" >/dev/null
[ $? -eq 1 ] || problem "one refused file must give exit code 1"
exit $fail
