#!/usr/bin/env bash
# bkdata track makes the sample track and loads it back; bkdata check loads
# a track folder, and refuses a damaged one with its reason and exit code 1.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
out=$("$exe" track quarrybend "$dir") || { echo "track quarrybend failed: $out"; fail=1; }
track=$dir/quarrybend
for f in terrain.hf terrain.png shading.ppm shadingx2.ppm tilemap tileinfo desc dirt.png grass.png hardpack.png; do
  [ -s "$track/$f" ] || { echo "missing $f"; fail=1; }
done
out=$("$exe" check "$track") || { echo "check of the sample track failed: $out"; fail=1; }
case $out in
  *"257x257 heights at 4 ft"*"3 tiles"*) ;;
  *) echo "unexpected summary: $out"; fail=1 ;;
esac
# The generator is deterministic.
"$exe" track quarrybend "$dir/again" >/dev/null
for f in terrain.hf terrain.png shading.ppm tilemap tileinfo; do
  cmp -s "$track/$f" "$dir/again/quarrybend/$f" || { echo "$f differs between runs"; fail=1; }
done

head -c 100 "$track/tilemap" >"$dir/short" && mv "$dir/short" "$track/tilemap"
err=$("$exe" check "$track" 2>&1)
rc=$?
[ "$rc" = 1 ] || { echo "damaged track: exit code $rc, want 1"; fail=1; }
case $err in
  *"Error reading tilemap"*) ;;
  *) echo "damaged track: no reason given: $err"; fail=1 ;;
esac
"$exe" check "$dir/nowhere" >/dev/null 2>&1
[ $? = 1 ] || { echo "missing folder not refused"; fail=1; }
"$exe" track elsewhere "$dir" >/dev/null 2>&1
[ $? = 2 ] || { echo "unknown sample track not refused"; fail=1; }
exit $fail
