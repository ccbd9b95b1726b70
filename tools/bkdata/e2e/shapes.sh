#!/usr/bin/env bash
# bkdata shapes writes the stock collision shapes and the starting gate's
# shape, model and texture; bkdata check loads shapes and decals files through the
# game's readers and refuses malformed ones with the reason and exit code 1.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
out=$("$exe" shapes "$dir/data") || { echo "shapes failed: $out"; fail=1; }
for f in generic_frame generic_fork_upper generic_fork_lower generic_swingarm front_wheel rear_wheel generic_rider startgate; do
  [ -s "$dir/data/$f.shp" ] || { echo "missing $f.shp"; fail=1; }
done
out=$("$exe" check "$dir/data/startgate.shp" "$dir/data/startgate.ppm" "$dir/data/startgate.jm") || { echo "check failed: $out"; fail=1; }
case $out in
  *"startgate.shp: shape, 21 spheres"*"startgate.ppm: P6 64 x 64"*"startgate.jm: "*) ;;
  *) echo "unexpected summary: $out"; fail=1 ;;
esac
# The generator is deterministic.
"$exe" shapes "$dir/again" >/dev/null
for f in "$dir"/data/*; do
  cmp -s "$f" "$dir/again/$(basename "$f")" || { echo "$(basename "$f") differs between runs"; fail=1; }
done

# Malformed shapes: each refused with its reason.
refused() {  # file, expected reason
  local err rc
  err=$("$exe" check "$1" 2>&1)
  rc=$?
  [ "$rc" = 1 ] || { echo "$1: exit code $rc, want 1"; fail=1; }
  case $err in
    *"$2"*) ;;
    *) echo "$1: no reason given: $err"; fail=1 ;;
  esac
}
printf '2\n0 0 0 1 1 1 1\n' >"$dir/short.shp"
refused "$dir/short.shp" "sphere 2 of 2 is short"
printf '0\n' >"$dir/empty.shp"
refused "$dir/empty.shp" "0 spheres"
printf '5000\n' >"$dir/huge.shp"
refused "$dir/huge.shp" "5000 spheres"
refused "$dir/nowhere.shp" "can't open"

# Decals: a texture made by bkdata, one good file and malformed ones.
"$exe" image png 16 16 "$dir/skid.png" >/dev/null || { echo "image failed"; fail=1; }
printf '[ 10 20 ] 0.5 8 4 %s\n[ 30 40 ] 0 2 2 %s\n' "$dir/skid.png" "$dir/skid.png" >"$dir/decals"
out=$("$exe" check "$dir/decals") || { echo "good decals refused: $out"; fail=1; }
case $out in
  *"decals, 2 entries"*) ;;
  *) echo "unexpected decals summary: $out"; fail=1 ;;
esac
mkdir -p "$dir/bad1" "$dir/bad2"
printf '[ 10 20 ] 0.5 eight 4 %s\n' "$dir/skid.png" >"$dir/bad1/decals"
refused "$dir/bad1/decals" "Error reading decals: entry 1 does not match"
printf '[ 10 20 ] 0.5 8 4 %s\n' "$dir/none.png" >"$dir/bad2/decals"
refused "$dir/bad2/decals" "can't load decal texture"
exit $fail
