#!/usr/bin/env bash
# The height and tile brushes in the real game. In the sample track's
# top-down view: Raise held two seconds over a known point lifts the ground
# under the brush by 2^Strength (8) and leaves the rest; a gradient made
# from the panel, its profile given a raised middle point in Gradient Edit,
# is painted along its axis; the Tilemap brush paints grass across the dirt
# of the track. The save loads, and a second run shows the mound.
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

# Each key, move and click waits for the frames that take it.
key() { press "$@"; }
# The ground textures of a new view fill in over a number of frames: 40
# show it whole.
shot() { wait_frames 40 && import -window "$win" "$frames/brushes_$1.png"; }
at() { point_at "$1" "$2"; }
# A left drag from the first point through the others.
# The brushes act once every 32 ticks of a held button, from where they
# last acted to the mouse: at each point the mouse stays for the frames
# that read the move (2) and 32 ticks more (8 frames at the locked 32 a
# second), however fast or slow the machine draws them.
brush_frames=11
drag() {
  at "$1" "$2"
  xdotool mousedown 1
  wait_frames "$brush_frames"
  shift 2
  while [ $# -ge 2 ]; do
    xdotool mousemove --window "$win" "$1" "$2"
    wait_frames "$brush_frames"
    shift 2
  done
  xdotool mouseup 1
  wait_frames
}
# The panel at 640 x 480: 7.5 pixels a unit, line k's item from 1.5 k - 1
# to 1.5 k units down. Tool button of mode m: line m + 1.
panel_y() { python3 -c "print(int((1.5 * $1 - 0.5) * 7.5))"; }
click_line() {
  at 78 "$(panel_y "$1")"
  send_presses 1 xdotool click 1
  at 400 300  # keys go to the item under the mouse
}

# Starts the editor on the track, waits for the load, opens the editor's
# view, pans it a quarter right and puts the mouse over the brush point:
# on the track some 75 ft ahead of the starting gate, in sight of the
# chase camera.
start() {
  rm -f "$log"
  "$exe" --editor --track quarrybend --lock-fps 32 </dev/null >/dev/null 2>err.txt &
  pid=$!
  wait_for_window "$pid" || fail "no window"
  wait_pid=$pid wait_log "Max loading delay was" || fail "the game did not load the track"
  win=$(window_of "$pid")
  at 534 219
  key Escape Tab
  key Right
}

# --- Run 1: Raise held 2 s at window (534, 219), then "s". ---
start
shot A
# The button is held for 2 s of the game's clock (64 frames at the locked
# rate, after the 2 that read the press).
xdotool mousedown 1
wait_frames 66
xdotool mouseup 1
shot B

# A gradient from the panel: 50 ft along +x from the world point under the
# window's centre, (640, 512). In Gradient Edit its graph lies on the axis;
# a point pressed in 24 pixels along is inserted and dragged 15 pixels up
# (some 16 ft). Then Gradient Linear Paint along the axis.
key 7
click_line 25  # New Gradient
key 8
drag 344 240 344 232 344 225
shot gradient
key 3
drag 320 240 344 240 368 240
shot painted

# Tilemap Edit (its button: no key picks it), Tile 1 (grass), a stroke
# along z = 340 from x 590 to 760, across the track's dirt.
click_line 15
at 78 "$(panel_y 25)"
key Right
drag 273 79 353 79 433 79
shot tiles
at 534 219
key s
saved() { [ -s "$user/quarrybend/terrain.png" ] && [ -s "$user/quarrybend/edinfo" ] && [ ! -e "$user/quarrybend/.saving" ]; }
wait_pid=$pid wait_until saved
[ -s "$user/quarrybend/terrain.png" ] || fail "no save"
[ -s "$user/quarrybend/edinfo" ] || fail "the save wrote no edinfo"
wait_frames
cp -r "$user/quarrybend" saved || fail "the save wrote no track folder"
key Tab
shot C  # the chase view, for the eye
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc on SIGTERM"

# Laid over a copy of the generated track, the save loads.
cp -r "$data/quarrybend" check
cp saved/* check/
"$bkdata" check check >check.txt 2>&1 || { cat check.txt; fail "bkdata check refused the saved track"; }
"$bkdata" check check/edinfo >check_edinfo.txt 2>&1 || { cat check_edinfo.txt; fail "bkdata check refused edinfo"; }
grep -q "1 gradients, 3 points" check_edinfo.txt || { cat check_edinfo.txt; fail "edinfo does not hold one gradient of 3 points"; }

# --- Run 2: the saved track comes back. ---
start
shot D
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "run 2: exit code $rc on SIGTERM"
# The game's own loader read the saved set, edinfo too, without a word.
grep -q "edinfo' line\|Error reading\|Can't open '@" "$log" && fail "run 2: the saved track did not load cleanly"

e2e_python - "$data/quarrybend" saved "$frames" <<'PY' || fail "the brush stroke is not as expected"
import math, sys
from e2e_png import gray16 as png_gray16, rgb

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

# edinfo: the one gradient, (640, 512) to (690, 512), with the raised
# point between its ends.
gradients = []
for line in open(sys.argv[2] + "/edinfo").read().splitlines():
    words = line.split()
    if words[0] == "add_gradient":
        gradients.append(([float(v) for v in words[1:5]], []))
    elif words[0] == "add_point":
        gradients[-1][1].append((int(words[1]), float(words[2]), float(words[3])))
print("edinfo:", gradients)
if len(gradients) != 1:
    sys.exit("edinfo holds %d gradients" % len(gradients))
(sx, sz, ex, ez), points = gradients[0]
if abs(sx - 640) > 0.01 or abs(sz - 512) > 0.01 or abs(ex - 690) > 0.01 or abs(ez - 512) > 0.01:
    sys.exit("the gradient's axis is not (640, 512)-(690, 512)")
if len(points) != 3 or [p[0] for p in points] != [0, 0, 0]:
    sys.exit("the profile is not three Line points")
(_, d0, h0), (_, d1, h1), (_, d2, h2) = points
if d0 != 0 or h0 != 0 or abs(d2 - 50) > 1e-3 or h2 != 0 or not (20 < d1 < 30) or not (12 < h1 < 20):
    sys.exit("the profile's points are not where they were put")

def profile(d):
    for (_, a, ha), (_, b, hb) in zip(points, points[1:]):
        if a <= d <= b:
            return ha + (d - a) / (b - a) * (hb - ha)

def off_axis(x, z):  # distance from the axis segment
    t = min(max((x - sx) / (ex - sx), 0), 1)
    return math.hypot(x - (sx + t * (ex - sx)), z - sz)

# Cells on the axis, all within the inner radius of the stroke along it,
# hold the profile.
row = round(sz / spacing)
on_axis = 0
for j in range(math.ceil(sx / spacing), math.floor(ex / spacing) + 1):
    want, got = profile(j * spacing - sx), after[row][j]
    on_axis += 1
    if abs(got - want) > 2 * step:
        sys.exit("cell (%d, %d) on the axis is %.4f, the profile %.4f" % (j, row, got, want))
print("cells on the axis holding the profile:", on_axis)

inner, outer, changed_outside = 0, 0, 0
for i, row in enumerate(after):
    for j, h in enumerate(row):
        d = math.hypot(j * spacing - mx, i * spacing - mz)
        rise = h - before[i][j]
        if d < w * 0.5 - 1:
            inner += 1
            if abs(rise - 8) > 2 * step:
                sys.exit("cell (%d, %d) at %.1f ft rose %.4f, not 8" % (j, i, d, rise))
        elif d > w + 1 and off_axis(j * spacing, i * spacing) > w + 1:
            outer += 1
            if abs(rise) > 2 * step:
                changed_outside += 1
print("mouse at world", mx, mz)
print("cells at full weight:", inner, "beyond the radius:", outer, "of them changed:", changed_outside)
if inner < 100 or changed_outside:
    sys.exit("the stroke reached the wrong cells")

# The tile stroke: every tile whose centre lies well inside the brush of
# the stroke shows grass; each neighbour shows grass at the corners it
# shares with the stroke, unless the table has no tile for that.
q = 128
tiles_before = open(sys.argv[1] + "/tilemap", "rb").read()
tiles_after = open(sys.argv[2] + "/tilemap", "rb").read()
names = [l.split()[1] for l in open(sys.argv[1] + "/tileinfo") if l.startswith("name ")]
def corners(t):  # bit k -> the material at corner k
    n = names[t]
    if n.startswith("dirt_grass_"):
        bits = int(n[len("dirt_grass_"):], 2)
        return ["grass" if bits >> k & 1 else "dirt" for k in range(4)]
    return ["dirt" if n.startswith("dirt") else n] * 4
shown = {tuple(corners(t)) for t in range(len(names))}
grass = names.index("grass")
x0, x1, z = 590, 760, 340
def stroke_distance(a, b):
    x, zz = (2 * a + 1) * spacing, (2 * b + 1) * spacing
    return math.hypot(x - min(max(x, x0), x1), zz - z)
stroke = {(a, b) for a in range(q) for b in range(q) if stroke_distance(a, b) < w - 3}
crossed = sum(1 for a, b in stroke if corners(tiles_before[a + q * b]) == ["dirt"] * 4)
for a, b in stroke:
    if tiles_after[a + q * b] != grass:
        sys.exit("tile (%d, %d) in the stroke is %s" % (a, b, names[tiles_after[a + q * b]]))
# The corners neighbour (a + da, b + db) shares with a tile.
shares = {(-1, -1): 1, (0, -1): 3, (1, -1): 2, (-1, 0): 5, (1, 0): 10, (-1, 1): 4, (0, 1): 12, (1, 1): 8}
checked, unfit = 0, 0
for a, b in stroke:
    for (da, db), k in shares.items():
        n = (a + da, b + db)
        if n in stroke or not (0 <= n[0] < q and 0 <= n[1] < q):
            continue
        have = corners(tiles_after[n[0] + q * n[1]])
        wanted = tuple("grass" if k >> c & 1 else have[c] for c in range(4))
        checked += 1
        if tuple(have) == wanted:
            continue
        if wanted in shown:
            sys.exit("neighbour %s of stroke tile (%d, %d) shows %s" % (n, a, b, have))
        unfit += 1
print("stroke tiles:", len(stroke), "over dirt:", crossed, "neighbour sides checked:", checked, "with no tile to fit:", unfit)
if crossed < 20:
    sys.exit("the stroke did not cross the dirt")

def pixels(name):
    return rgb(sys.argv[3] + "/brushes_%s.png" % name)

def differing(x, y, inside):
    n = 0
    for row in range(120, 480, 2):  # below the message lines beside the panel
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
