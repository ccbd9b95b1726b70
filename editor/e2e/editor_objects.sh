#!/usr/bin/env bash
# The object tools in the real game: in the editor's view of the sample
# track a timing gate is moved and aimed (and then aimed onto its own
# centre, which must leave it alone), billboards are picked, painted,
# deleted, statues moved, turned, duplicated and deleted, decals moved,
# painted in a chain, stepped, selected, drawn together and deleted; "s"
# saves. The saved files load over a copy of the track with the counts the
# session implies, and a second start shows them all.
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
fail() { echo "$*"; tail -n 30 "$log" 2>/dev/null; cat err.txt 2>/dev/null; kill -KILL "${pid:-0}" 2>/dev/null; exit 1; }

# Each key, move and click waits for the frames that take it, and a shot
# for some frames more.
key() { press "$@"; }
shot() { wait_frames 10 && import -window "$win" "$frames/objects_$1.png"; }
at() { point_at "$1" "$2"; }
press_at() { at "$1" "$2"; xdotool mousedown 1; wait_frames; }
release() { xdotool mouseup 1; wait_frames; }
# A left drag from the first point through the others, a few frames at each.
drag() {
  press_at "$1" "$2"
  shift 2
  while [ $# -ge 2 ]; do
    at "$1" "$2"
    shift 2
  done
  release
}

# The view the keys below set: zoom 2 (256 world units over the window's
# 480 pixels), centred on (832, 640) over the start area. Screen points of
# world points, and back, in that view.
zoom=2 cx=832 cz=640
screen() { python3 -c "import sys; x, z = map(float, sys.argv[1:3]); p = 1024 / 2 ** $zoom / 480
print(round((x - $cx) / p + 320), round((z - $cz) / p + 240))" "$@"; }
# Field $3 (from 1) of line $2 of file $1, brackets dropped.
field() { sed -n "${2}p" "$1" | tr -d '[]' | awk -v k="$3" '{print $k}'; }

# Starts the editor, with the race's clock moved a fixed step a frame:
# the robot rides on under the menu, so only the game's own clock makes
# two runs' race views show the same moment however slowly each is drawn.
# With a name, shoots the race view first (on the second start the new
# objects stand ahead), 120 frames in: the ground textures filled in and
# the robot still at the gate, which drops 14-15 s (450-480 frames) in.
start() {
  rm -f "$log"
  local started
  started=$(frames_shown)
  "$exe" --editor --lock-fps 32 --track quarrybend </dev/null >/dev/null 2>err.txt &
  pid=$!
  wait_for_window "$pid" || fail "no window"
  wait_pid=$pid wait_log "Max loading delay was" || fail "the track never loaded"
  win=$(window_of "$pid")
  if [ -n "${1:-}" ]; then
    wait_running "$started" 120 || fail "the race view did not run"
    import -window "$win" "$frames/objects_$1.png"
  fi
  at 400 240
  key Escape Tab
  key equal equal Right Right Right Right Right Down Down
  wait_frames 40  # the ground textures of the new view fill in
}

# Whether a square of `r` pixels round (x, y) differs between two frames.
changed() {
  e2e_python - "$frames/objects_$1.png" "$frames/objects_$2.png" "$3" "$4" "$5" <<'PY'
import sys
from e2e_png import rgb
a, b = rgb(sys.argv[1]), rgb(sys.argv[2])
x, y, r = map(int, sys.argv[3:6])
n = 0
for row in range(max(0, y - r), min(480, y + r + 1)):
    for col in range(max(0, x - r), min(640, x + r + 1)):
        k = 3 * (row * 640 + col)
        n += sum(abs(a[k + i] - b[k + i]) for i in range(3)) > 48
sys.exit(0 if n >= 6 else 1)
PY
}

# Whether a frame has near-white pixels within 3 pixels of (x, y).
white_at() {
  e2e_python - "$1" "$2" "$3" <<'PY'
import sys
from e2e_png import rgb
a = rgb(sys.argv[1])
x, y = int(sys.argv[2]), int(sys.argv[3])
n = sum(1 for row in range(y - 3, y + 4) for col in range(x - 3, x + 4)
        if min(a[3 * (row * 640 + col) + i] for i in range(3)) > 235)
sys.exit(0 if n > 0 else 1)
PY
}

# Whether frame $1 shows tool $2's button, and only it, bright: the
# button of the current tool is drawn so when the mouse is off the panel.
current_tool() {
  e2e_python - "$1" "$2" <<'PY'
import sys
from e2e_png import rgb
a = rgb(sys.argv[1])
bright = []
for mode in range(16):
    y = int(((mode + 1) * 1.5 - 0.5) * 7.5)
    grey = sorted(sum(a[3 * (row * 640 + col) + i] for i in range(3)) / 3
                  for row in range(y - 2, y + 3) for col in range(100, 150))
    if grey[len(grey) // 2] > 150:
        bright.append(mode)
print("bright tool buttons:", bright)
sys.exit(0 if bright == [int(sys.argv[2])] else 1)
PY
}

# The side panel's tool button of mode $1, as its layout places it: 1.5
# units of 7.5 pixels a row, the row's upper 1 unit the button. A click
# that does not make it the current tool fails the run.
tool() {
  local y
  y=$(python3 -c "print(int(((($1 + 1) * 1.5) - 0.5) * 7.5))")
  at 40 "$y"
  send_presses 1 xdotool click 1
  at 400 240
  shot "tool_$1"
  current_tool "$frames/objects_tool_$1.png" "$1" || fail "the panel's button of tool $1 did not take"
}

track=$data/quarrybend
# --- Run 1 ---
start first_race_view
shot view

# 1. Timing gate 0: its centre moved a few pixels (so that it lies on a
# pixel's world point), its far end dragged 30 ft out along +x, then aimed
# onto the centre, which leaves the aim as it was.
key 9
read -r gx gy <<<"$(screen "$(field "$track/timing_gates" 11 2)" "$(field "$track/timing_gates" 11 4)")"
cxp=$((gx + 3)) cyp=$((gy + 2))
drag "$gx" "$gy" "$cxp" "$cyp"
read -r fx fy <<<"$(python3 -c "
import math
hw, dx, dz = $(field "$track/timing_gates" 11 1), $(field "$track/timing_gates" 11 5), $(field "$track/timing_gates" 11 7)
p = 1024 / 2 ** $zoom / 480
d = math.hypot(dx, dz)
print(round($cxp + hw * dx / d / p), round($cyp + hw * dz / d / p))")"
out=$((cxp + 56))  # 56 pixels: 29.9 ft
drag "$fx" "$fy" "$out" "$cyp"
shot gate_aimed
drag "$out" "$cyp" "$cxp" "$cyp"
shot gate_centre
white_at "$frames/objects_gate_centre.png" "$out" "$cyp" || fail "gate 0's far end is not where it was dragged"

# 2. Billboards. Their tool draws each billboard's ring.
shot before_billboards
tool 12
shot billboards
read -r bx by <<<"$(screen "$(field "$track/billboards" 3 1)" "$(field "$track/billboards" 3 3)")"
changed before_billboards billboards "$bx" "$by" 16 || fail "the billboard tool shows no billboards"
# Pick tree 3 (24 ft by 0.6: copies 14.4 ft apart), then a trail of
# jumps of 30 pixels (16 ft): one copy at each and one at the press.
press_at "$bx" "$by"
release
drag 300 400 330 400 360 400 390 400 420 400
shot trail
# The third copy goes; "x" over the lap flagger does nothing.
at 360 400
key x
read -r lx ly <<<"$(screen "$(field "$track/flaggers" 3 1)" "$(field "$track/flaggers" 3 3)")"
at "$lx" "$ly"
key x
shot billboards_done

# 3. Statues: the first rock moved, turned by its handle, copied twice,
# a copy deleted; "i" then finds other models after it and moves nothing.
tool 13
read -r sx sy <<<"$(screen "$(field "$track/statues" 1 1)" "$(field "$track/statues" 1 3)")"
drag "$sx" "$sy" 520 300
read -r hx hy <<<"$(python3 -c "
import math
a, s, p = $(field "$track/statues" 1 4), max(1, 1024 / 2 ** $zoom * 0.01), 1024 / 2 ** $zoom / 480
print(round(520 - 4 * s * math.sin(a) / p), round(300 - 4 * s * math.cos(a) / p))")"
drag "$hx" "$hy" 560 300
at 470 330
key d
at 600 330
key d
key x
key i
shot statues

# 4. Decals: the first arrow moved, a chain painted from clear ground
# (15 pixels a step, past the 6 ft spacing), "d" one further, "m" on a
# chain piece, "{" draws it in, "x" deletes the chain's first piece.
tool 15
read -r ax ay <<<"$(screen "$(field "$track/decals" 1 1)" "$(field "$track/decals" 1 2)")"
drag "$ax" "$ay" "$((ax + 20))" "$ay"
drag 250 430 265 430 280 430 295 430 310 430 325 430
shot chain
at 360 430
key d
at 280 430
key m
key braceleft
at 250 430
key x
shot decals

# 5. Save, a look at the track in 3-D, then the close signal.
touch save_marker
key s
saved() { [ "$user/quarrybend/timing_gates" -nt save_marker ] && [ ! -e "$user/quarrybend/.saving" ]; }
wait_pid=$pid wait_until saved
[ -e "$user/quarrybend/timing_gates" ] || fail "no save"
key Tab
wait_frames 40
shot race_view
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc after the close signal"

# The saved set: no "nan", and over a copy of the sample track it loads with
# the objects the session made.
for f in billboards timing_gates statues decals; do
  [ -s "$user/quarrybend/$f" ] || fail "the save wrote no $f"
  grep -qi nan "$user/quarrybend/$f" && fail "the saved $f holds nan"
done
# A data root of its own whose quarrybend is the copy, so the track's
# names find the copy's pictures.
root=$dir/checkroot
data_root_with_track_copy "$root" "$track"
cp "$user/quarrybend"/* "$root/quarrybend/"
"$bkdata" check "$root/quarrybend" >check.txt 2>&1 || { cat check.txt; fail "bkdata check refused the saved track"; }
grep -q "not found\|can't load" check.txt && { cat check.txt; fail "the saved track misses files"; }
# 24 + 5 trail copies (the press and four jumps) - 1 billboards;
# 11 + 2 - 1 statues; 8 + 1 chain start + 5 chain + 1 step - 1 decals.
want="28 billboards, 12 statues"
decals="14 decals"
grep -q "$want" check.txt || { cat check.txt; fail "not $want"; }
grep -q "$decals" check.txt || { cat check.txt; fail "not $decals"; }

# Gate 0: 30 ft wide within two pixels, aimed along +x.
python3 - "$user/quarrybend/timing_gates" <<'PY' || fail "gate 0 is not as dragged"
import math, sys
lines = open(sys.argv[1]).read().splitlines()
k = lines.index("checkpoints:")
hw, x, y, z, dx, dy, dz = map(float, lines[k + 1].replace("[", " ").replace("]", " ").split()[:7])
pixel = 1024 / 4 / 480
print("gate 0:", hw, dx, dz)
if abs(hw - 30) > 2 * pixel or dz != 0 or dx <= 0:
    sys.exit(1)
PY

# --- Run 2: the saved objects come back. ---
start second_race_view
key 9
shot second_gates
tool 12
shot second_billboards
tool 13
shot second_statues
tool 15
shot second_decals
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "run 2: exit code $rc"

# From the starting gate, the same moment after the load, run 2's on-bike
# view differs from run 1's where the trail's trees now stand ahead (and
# the moved rock stood), far more densely than anywhere else.
e2e_python - "$frames/objects_first_race_view.png" "$frames/objects_second_race_view.png" <<'PY' ||
import sys
from e2e_png import rgb
a, b = rgb(sys.argv[1]), rgb(sys.argv[2])
ahead = elsewhere = 0
# The map, the timing box and the rev counter show live values.
def hud(col, row):
    return (col >= 528 and (row < 112 or row >= 368)) or (col < 150 and row >= 358)
for row in range(480):
    for col in range(640):
        k = 3 * (row * 640 + col)
        if sum(abs(a[k + i] - b[k + i]) for i in range(3)) <= 48:
            continue
        if 340 <= col < 480 and 195 <= row < 255:
            ahead += 1
        elif not (320 <= col < 480 and 190 <= row < 330) and 30 <= row < 430 and not hud(col, row):
            elsewhere += 1
print("race view: changed ahead", ahead, "elsewhere", elsewhere)
# The frames go on while a shot is read (the flaggers' flags wave): compare
# how densely each area changed. The top and bottom bands hold timed text
# (console lines, the start-up notice), which one shot may catch and the
# other not.
ahead_share = ahead / (140 * 60)
elsewhere_share = elsewhere / (640 * 400 - 160 * 140 - 112 * (112 - 30 + 430 - 368) - 150 * (430 - 358))
sys.exit(0 if ahead >= 300 and ahead_share >= 20 * elsewhere_share else 1)
PY
  fail "the new billboards do not stand in the race view"
exit 0
