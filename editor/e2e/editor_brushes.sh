#!/usr/bin/env bash
# The Raise brush in the real game: held two seconds over a known point of
# the sample track's top-down view, it lifts the ground under the brush by
# 2^Strength (8) and leaves the rest; the save loads, and a second run
# shows the mound.
set -u
exe=$1
data=$2
bkdata=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../race/e2e/lib.sh"
enter_temp_home
write_windowed_config
user=$dir/xdg/Brakkan
log=$user/lastlog.txt
frames=${BK_TEST_FRAMES:-$dir/frames}
mkdir -p "$frames"
fail() { echo "$*"; tail -n 30 "$log" 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }

key() { xdotool key --delay 80 "$@"; sleep 0.5; }
shot() { import -window "$win" "$frames/brushes_$1.png"; }

# Starts the editor on the track, waits for the load, opens the editor's
# view, pans it a quarter right and puts the mouse over the brush point:
# on the track some 75 ft ahead of the starting gate, in sight of the
# chase camera.
start() {
  rm -f "$log"
  "$exe" --editor --track quarrybend </dev/null >/dev/null 2>err.txt &
  pid=$!
  wait_for_window "$pid" || fail "no window"
  for _ in $(seq 1200); do
    grep -q "Max loading delay" "$log" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || fail "the game ended while loading"
    sleep 0.1
  done
  win=$(window_of "$pid")
  xdotool mousemove --window "$win" 534 219
  sleep 0.3
  key Escape Tab
  key Right
  sleep 2  # the ground textures of the view fill in
}

# --- Run 1: Raise held 2 s at window (534, 219), then "s". ---
start
shot A
xdotool mousedown 1
sleep 2
xdotool mouseup 1
sleep 1.5
shot B
key s
for _ in $(seq 600); do
  [ -s "$user/quarrybend/terrain.png" ] && [ ! -e "$user/quarrybend/.saving" ] && break
  sleep 0.1
done
[ -s "$user/quarrybend/terrain.png" ] || fail "no save"
sleep 0.5
cp -r "$user/quarrybend" saved || fail "the save wrote no track folder"
key Tab
sleep 2
shot C  # the chase view, for the eye
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc on SIGTERM"

# Laid over a copy of the generated track, the save loads.
cp -r "$data/quarrybend" check
cp saved/* check/
"$bkdata" check check >check.txt 2>&1 || { cat check.txt; fail "bkdata check refused the saved track"; }

# --- Run 2: the saved track comes back. ---
start
shot D
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "run 2: exit code $rc on SIGTERM"

python3 - "$data/quarrybend" saved "$frames" <<'PY' || fail "the brush stroke is not as expected"
import math, struct, subprocess, sys, zlib

def png_gray16(path):
    data = open(path, "rb").read()
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 16 and colour == 0, (path, depth, colour)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 2
    rows, prev = [], bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 2] if i >= 2 else 0
            b = prev[i]
            c = prev[i - 2] if i >= 2 else 0
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pr = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pr) & 255
        rows.append(struct.unpack(">%dH" % width, bytes(line)))
        prev = line
    return rows

def heights(folder):
    n, spacing, lo, hi = open(folder + "/terrain.hf").read().split()[:4]
    lo, hi = float(lo), float(hi)
    rows = png_gray16(folder + "/terrain.png")
    return [[lo + v * (hi - lo) / 65535 for v in row] for row in rows], (hi - lo) / 65535, float(spacing)

before, step0, spacing = heights(sys.argv[1])
after, step1, _ = heights(sys.argv[2])
step = max(step0, step1) * 1.01
# Zoom 1 in a 640 x 480 window shows 512 of the 1024 ft, here centred on
# (640, 512): window (534, 219) is world (868.27, 489.6). Radius 64 px is
# 68.27 ft, Focus 0.5.
mx, mz = (534 - 320) / 480 * 512 + 640, (219 - 240) / 480 * 512 + 512
w = 64 * 512 / 480
inner, outer, changed_outside = 0, 0, 0
for i, row in enumerate(after):
    for j, h in enumerate(row):
        d = math.hypot(j * spacing - mx, i * spacing - mz)
        rise = h - before[i][j]
        if d < w * 0.5 - 1:
            inner += 1
            if abs(rise - 8) > 2 * step:
                sys.exit("cell (%d, %d) at %.1f ft rose %.4f, not 8" % (j, i, d, rise))
        elif d > w + 1:
            outer += 1
            if abs(rise) > 2 * step:
                changed_outside += 1
print("mouse at world", mx, mz)
print("cells at full weight:", inner, "beyond the radius:", outer, "of them changed:", changed_outside)
if inner < 100 or changed_outside:
    sys.exit("the stroke reached the wrong cells")

def pixels(name):
    return subprocess.run(["convert", sys.argv[3] + "/brushes_%s.png" % name, "rgb:-"],
                          capture_output=True, check=True).stdout

def differing(x, y, inside):
    n = 0
    for row in range(0, 480, 2):
        for col in range(200, 640, 2):  # right of the panel's text
            if (math.hypot(col - 534, row - 219) <= 64 + 4) != inside:
                continue
            k = 3 * (row * 640 + col)
            if sum(abs(x[k + c] - y[k + c]) for c in range(3)) > 24:
                n += 1
    return n

a, b, d = pixels("A"), pixels("B"), pixels("D")
print("A against B: inside the brush", differing(a, b, True), "outside", differing(a, b, False))
print("B against D: inside the brush", differing(b, d, True), "outside", differing(b, d, False))
if differing(a, b, True) < 100:
    sys.exit("the view did not change under the brush")
if differing(a, b, False) > 40:
    sys.exit("the view changed beyond the brush")
if differing(b, d, True) > 40:
    sys.exit("the second run does not show the saved mound")
PY
