#!/usr/bin/env bash
# bkdata record: the sample demo is a race the game itself recorded on the
# build's game data. Run again on the same data it gives the same bytes;
# its riders ride bikes of the bike table, and each states chunk holds the
# riders one after another in header order, each one's states oldest first,
# every rider moving along the track.
set -u
exe=$1
made=$(cd "$2" && pwd)  # the build's game data root, its demo recorded by the same bkdata
. "$(dirname "$0")/scratch_home.sh"
demo=$made/demos/quarrybend.bkdemo
[ -f "$demo" ] || { echo "no sample demo in the build's game data '$made'"; exit 1; }

# The build's data, but for the demos, in a root of our own.
mkdir "$dir/root"
links=()
for f in "$made"/*; do [ "${f##*/}" = demos ] || links+=("$f"); done
ln -s "${links[@]}" "$dir/root/"
"$exe" record "$dir/root" >/dev/null || { echo "bkdata record failed"; exit 1; }
cmp -s "$dir/root/demos/quarrybend.bkdemo" "$demo" || { echo "the demo differs between two runs (this and the build's)"; fail=1; }

out=$(BK_HOME=$made "$exe" check "$demo") || { echo "the sample demo is refused: $out"; fail=1; }
case $out in
  *"demo version 6, track 'quarrybend', 3 riders, "*"chunks (states "*", text 1, commands 1, terrain "*) ;;
  *) echo "unexpected summary: $out"; fail=1 ;;
esac
for rider in "1: number '47', bike 'crf250(2008)'" "2: number '24', bike 'kx125'" "3: number '62', bike 'cr125'"; do
  feet=$(printf '%s\n' "$out" | sed -n "s/.*rider $rider, [0-9]* states, moved \([0-9.]*\) ft$/\1/p")
  awk -v f="${feet:-0}" 'BEGIN { exit !(f > 100) }' || { echo "rider $rider did not move 100 ft: $out"; fail=1; }
done

# The chunks as the recorder writes them.
python3 - "$demo" <<'EOF' || fail=1
import struct, sys
data = open(sys.argv[1], "rb").read()
head = data.split(b"\n", 1)[0].split()
riders = int(head[1])
at, lines = 0, 0
while lines < 2:
    at = data.index(b"\n", at) + 1
    lines += 1
for _ in range(riders):  # bike line, number, name, empty line
    for _ in range(4):
        at = data.index(b"\n", at) + 1
previous, last, texts, bad = 0, {}, [], []
while at + 9 <= len(data):
    length = struct.unpack_from("<I", data, at)[0] ^ previous
    tick, kind = struct.unpack_from("<iB", data, at + 4)
    body = data[at + 9 : at + 9 + length]
    if kind == 2:
        texts.append(body.decode())
    if kind == 1:
        order = [(body[k], struct.unpack_from("<I", body, k + 1)[0]) for k in range(0, length, 44)]
        if order != sorted(order) or len(set(order)) != len(order):
            bad.append("chunk at %d: entries %s" % (at, order[:12]))
        for rider, t in order:
            if t <= last.get(rider, -1):
                bad.append("chunk at %d: rider %d goes back to tick %d" % (at, rider, t))
            last[rider] = t
        if any(rider >= riders for rider, _ in order):
            bad.append("chunk at %d: a rider past the header's" % at)
    previous, at = length, at + 9 + length
if at != len(data):
    bad.append("a chunk passes the end")
if texts != ["Sample race on Quarry Bend\n"]:
    bad.append("text chunks %r" % texts)
if sorted(last) != list(range(riders)):
    bad.append("states of riders %s" % sorted(last))
for b in bad[:5]:
    print(b)
sys.exit(1 if bad else 0)
EOF
exit $fail
