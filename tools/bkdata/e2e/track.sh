#!/usr/bin/env bash
# bkdata track makes the sample track and loads it back; bkdata check loads
# a track folder whole (gates, objects, lighting, cameras), reports what a
# malformed file lost, and refuses a folder whose terrain fails with its
# reason and exit code 1.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
out=$("$exe" track quarrybend "$dir") || { echo "track quarrybend failed: $out"; fail=1; }
track=$dir/quarrybend
for f in terrain.hf terrain.png shading.ppm shadingx2.ppm tilemap tileinfo desc \
  timing_gates statues billboards flaggers lighting cameras map.png tree.png rock.jm rock.shp rock_norm.png \
  flagger_start0.png flagger_chequered.seq flagger_chequered_3.png flare_glow.png decals arrow.png tyre.png; do
  [ -s "$track/$f" ] || { echo "missing $f"; fail=1; }
done
for f in sky-n.ppm sky-e.ppm sky-s.ppm sky-w.ppm sky-u.ppm sky-env.ppm roost.png dirt.png grass.png hardpack.png \
  dirt-grass-0110.png dirt-alt1.png dirt-alt2.png; do
  [ -s "$dir/$f" ] || { echo "missing $f at the data root"; fail=1; }
done
out=$("$exe" check "$track") || { echo "check of the sample track failed: $out"; fail=1; }
case $out in
  *"track 'Quarry Bend', 257x257 heights at 4 ft"*"17 tiles; 7 gates in effect (F 7, N 7, SF 6, SN 7); 8 slots, 24 billboards, 11 statues, 4 flaggers, 5 cameras, 1 flares, map yes, 8 decals; hash "*) ;;
  *) echo "unexpected summary: $out"; fail=1 ;;
esac
hash=$(echo "$out" | sed -n 's/.*; hash \([0-9a-f]*\)$/\1/p')
[ ${#hash} = 40 ] || { echo "no hash in: $out"; fail=1; }
# The waving flags are looping sequences of four PNG frames, which the
# sequence reader finds through the data root.
for seq in flagger_yellow flagger_green flagger_halfway flagger_white flagger_chequered; do
  summary=$(BK_HOME="$dir" XDG_DATA_HOME="$dir/no-user-folder" "$exe" check "$track/$seq.seq") ||
    { echo "check of $seq.seq failed: $summary"; fail=1; }
  [ "$summary" = "$track/$seq.seq: animation, 4 steps, 4 frames, 64 x 128, RGBA, 16 ticks per step, looping" ] ||
    { echo "unexpected summary of $seq.seq: $summary"; fail=1; }
done
# The decals file alone finds its pictures through the data root.
summary=$(BK_HOME="$dir" XDG_DATA_HOME="$dir/no-user-folder" "$exe" check "$track/decals") || { echo "check of decals failed: $summary"; fail=1; }
[ "$summary" = "$track/decals: decals, 8 entries" ] || { echo "unexpected summary of decals: $summary"; fail=1; }
# The stock gate objects lie at the data root; run alone, the track misses
# only those (and textures it names there), and still loads.
echo "$out" | grep -q "missing shape file @startgate.shp" || { echo "no report of the missing gate shape: $out"; fail=1; }
# The generator is deterministic.
"$exe" track quarrybend "$dir/again" >/dev/null
for f in terrain.hf terrain.png shading.ppm tilemap tileinfo timing_gates statues billboards flaggers lighting \
  cameras map.png rock.jm flagger_yellow.seq flagger_yellow_1.png; do
  cmp -s "$track/$f" "$dir/again/quarrybend/$f" || { echo "$f differs between runs"; fail=1; }
done
again=$("$exe" check "$dir/again/quarrybend" | tail -n 1)
[ "${again##*hash }" = "$hash" ] || { echo "the hash differs between runs: $again"; fail=1; }

# Malformed files: the track loads what it can and says what it lost.
cp "$track/timing_gates" "$dir/timing_gates"
printf '[1 0 2] 3 1 a.png\n[1 0 nan] 3 1 b.png\n' >"$track/billboards"
printf 'sun_vector [0 0 0]\nshine 1\n' >"$track/lighting"
out=$("$exe" check "$track") || { echo "malformed object files refused the track: $out"; fail=1; }
for reason in "billboards: entry 1 is malformed" "Unknown identifier 'shine'" "sun vector has no length" \
  "7 gates in effect" "1 billboards"; do
  echo "$out" | grep -q "$reason" || { echo "no '$reason' in: $out"; fail=1; }
done
# Without timing gates no race can end: the track is refused, with the line.
printf 'checkpoints:\n20 [1 2 3] [1 0 0]\n20 [4 5' >"$track/timing_gates"
if out=$("$exe" check "$track"); then echo "a track without gates accepted: $out"; fail=1; fi
echo "$out" | grep -q "timing_gates line 3: gate 1 is incomplete" || { echo "no line of the bad gate in: $out"; fail=1; }
echo "$out" | grep -q "track refused" || { echo "no refusal in: $out"; fail=1; }
cp "$dir/timing_gates" "$track/timing_gates"

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
