#!/usr/bin/env bash
# Where the sample track's dirt meets its grass, the tile map lays the
# dirt/grass transition tiles, so the edge runs across texels rather than
# stepping along whole ones: most dirt-grass contacts go through a
# transition tile.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
out=$("$exe" track quarrybend "$dir") || { echo "track quarrybend failed: $out"; exit 1; }
python3 - "$dir/quarrybend/tilemap" <<'PY'
import sys
# Tiles as the sample tileinfo lists them: 0 dirt, 1 grass, 2 hardpack,
# 3..14 the dirt/grass transitions.
data = open(sys.argv[1], "rb").read()
q = 128
if len(data) != q * q:
    sys.exit("tilemap holds %d bytes, expected %d" % (len(data), q * q))
hard = soft = 0
for y in range(q):
    for x in range(q):
        a = data[x + q * y]
        for dx, dy in ((1, 0), (0, 1)):
            if x + dx >= q or y + dy >= q:
                continue
            b = data[x + dx + q * (y + dy)]
            if {a, b} == {0, 1}:
                hard += 1
            elif 1 in (a, b) and 3 <= a + b - 1 <= 14:
                soft += 1
if soft == 0:
    sys.exit("no transition tile borders the grass")
if hard * 3 > soft:
    sys.exit("%d plain dirt-grass edges against %d through transition tiles" % (hard, soft))
PY
