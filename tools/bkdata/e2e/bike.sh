#!/usr/bin/env bash
# bkdata bike writes every part file the bike table names, the same bytes on
# every run, and the game's model reader takes every model.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
problem() { echo "$*"; fail=1; }

mkdir "$dir/a" "$dir/b"
"$exe" bike "$dir/a" || problem "bike failed"
"$exe" bike "$dir/b" || problem "second bike run failed"
diff -r "$dir/a" "$dir/b" >/dev/null || problem "two runs differ"

for f in cr125_frame.jm cr125_fork_upper.jm cr125_fork_lower.jm cr125_swingarm.jm cr125_side_plates.jm \
  cr125_front_plate.jm front_wheel.jm rear_wheel.jm rider_head.jm rider_body.jm rider_body_fp.jm rider_plate.jm \
  cr125.png wheels.png rider_head.png rider_body.png kx250fv2007.png kx250fv2007_frame.jm; do
  [ -s "$dir/a/$f" ] || problem "missing $f"
done
# One set of bike parts per stem: 6 models and a skin each.
[ "$(ls "$dir/a"/*_frame.jm | wc -l)" -ge 70 ] || problem "too few bike stems"

out=$("$exe" check "$dir"/a/*.jm) || problem "check refused a model: $(echo "$out" | grep -v ': model' | head -3)"
# Parts of one material are one sub-mesh (one draw call): the nine limbs of
# the body, the frame's three boxes, the fork's legs and bar (lit steel, then
# its reflective layer); the wheel keeps its tyre and its hub apart, the tyre
# first.
echo "$out" | grep -Eq "/rider_body.jm: model, 1 sub-meshes, [0-9]+ vertices, 432 triangles, 9 bones(;|$)" ||
  problem "rider body: $(echo "$out" | grep /rider_body.jm)"
echo "$out" | grep -q "/cr125_frame.jm: model, 1 sub-meshes, 72 vertices, 36 triangles, 0 bones$" || problem "frame parts not merged"
echo "$out" | grep -q "/cr125_fork_upper.jm: model, 2 sub-meshes, .*, 0 bones, reflective;" || problem "fork parts not merged"
grep -A1 '^JM1' "$dir/a/front_wheel.jm" | tail -1 | grep -q '^2 ' || problem "the wheel's first sub-mesh is not the tyre"
echo "$out" | grep -q "rider_plate.jm: model, 1 sub-meshes, .*, 9 bones$" || problem "rider plate"
echo "$out" | grep -q "cr125_frame.jm: model, .*, 0 bones" || problem "frame"
# Riders further away draw coarser wheels, head and body: the loader chains
# the variants by distance, and each has fewer triangles than the one before.
for m in front_wheel rear_wheel; do
  echo "$out" | grep -Eq "/$m.jm: model, .* ([0-9]+) triangles, .*LOD variants: .*/${m}_lod5.jm at 32 \(100 triangles\), .*/${m}_lod6.jm at 64 \(80 triangles\)$" ||
    problem "$m variants: $(echo "$out" | grep "/$m.jm:")"
  echo "$out" | grep -q "/$m.jm: model, 2 sub-meshes, [0-9]* vertices, 832 triangles" || problem "$m full detail changed"
done
for m in rider_body rider_head; do
  echo "$out" | grep -q "/$m.jm: model, .*LOD variants: .*/${m}_lod5.jm at 32 ([0-9]* triangles)$" || problem "$m variant"
done
echo "$out" | grep -q "rider_body_fp.jm: .*LOD" && problem "first-person body needs no variant"
# Every bike's rods (fork and swingarm) have a coarser variant, its boxes none.
for part in fork_upper fork_lower swingarm; do
  n=$(echo "$out" | grep -Ec "_$part.jm: model, .* ([0-9]+) triangles, .*LOD variants: .*_${part}_lod5.jm at 32 \(([0-9]+) triangles\)$")
  [ "$n" -ge 70 ] || problem "$part variants on $n bikes"
done
echo "$out" | grep -q "_frame.jm: .*LOD" && problem "a frame has a variant"
out=$("$exe" check "$dir"/a/cr125.png) || problem "check refused the bike skin: $out"

"$exe" bike >/dev/null 2>&1
[ $? -eq 2 ] || problem "bike without a folder should be a usage error"
: >"$dir/file"
"$exe" bike "$dir/file/x" >/dev/null 2>&1
[ $? -eq 1 ] || problem "bike under a plain file should fail"
exit $fail
