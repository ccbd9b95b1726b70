#!/usr/bin/env bash
# The editor's panel and files in the real game, in two starts.
# Start 1: a hand-made edinfo with a repeated distance, a "nan" and an
# orphan point is read with each bad line named in the log; New Gradient,
# Copy Gradient and Set From Terrain from the panel; Save writes the
# gradients back mended; "p" exports track.pov, which POV-Ray renders when
# it is installed; the exit page does not warn.
# Start 2: the saved edinfo reads back and "s" writes it byte for byte;
# then, with a folder named edinfo in the way, Save writes nothing and the
# exit page warns.
set -u
exe=$1
data=$2
bkdata=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../race/e2e/lib.sh"
enter_temp_home
write_windowed_config
user=$dir/xdg/Brakkan
track=$user/quarrybend
log=$user/lastlog.txt
frames=${BK_TEST_FRAMES:-$dir/frames}
mkdir -p "$frames" "$track"
fail() { echo "$*"; tail -n 30 "$log" 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }

# Each key, move and click waits for the frames that take it.
key() { press "$@"; }
# The ground textures of a new view fill in over a number of frames: 40
# show it whole.
shot() { wait_frames 40 && import -window "$win" "$frames/files_$1.png"; }
off_panel() { point_at 400 240; }

# The panel at 640 x 480: 7.5 pixels a unit, line k's item from 1.5 k - 1
# to 1.5 k units down, 0.5 to 20.5 units across. Clicks land mid-item.
click_line() {
  local y
  y=$(python3 -c "print(int((1.5 * $1 - 0.5) * 7.5))")
  point_at 78 "$y"
  send_presses 1 xdotool click 1
}
save_line=18
new_gradient_line=25
copy_gradient_line=26
set_from_terrain_line=28

start() {
  rm -f "$log"
  timeout -s TERM "$run_hang_seconds" "$exe" --editor --erode 0 --track quarrybend </dev/null >/dev/null 2>err.txt &
  pid=$!  # timeout's: its exit code is the game's
  game=
  game_started() { game=$(pgrep -P "$pid" | head -n 1); [ -n "$game" ]; }
  wait_pid=$pid wait_until game_started || fail "the game did not start"
  wait_for_window "$game" || fail "no window"
  wait_pid=$pid wait_log "Max loading delay was" || fail "the game did not load the track"
  win=$(window_of "$game")
  off_panel
  key Escape Tab
}

# Esc, then the main menu's last item, Quit: the exit page, with frames of
# it (its warning blinks), then any key ends the game.
quit_via_exit_page() {
  off_panel
  # A page change swallows the rest of its frame's keys.
  key Escape Down Down Down Down Down Down Down Down Return
  # The warning shows a quarter second in every half of the game's clock:
  # shots 2 frames apart over a second or more meet it.
  for k in 1 2 3 4 5 6 7 8; do wait_frames 2 && import -window "$win" "$frames/files_exit_$1_$k.png"; done
  key space
  wait_or_kill "$pid" "$log"
}

# Whether file $1 is newer than the marker, its save over.
newer() { [ "$1" -nt marker ] && [ ! -e "$track/.saving" ]; }
# Waits until file $1 is newer than the marker, then for the frames after.
wait_newer() {
  wait_pid=$pid wait_until newer "$1" || fail "$1 was not written"
  touch marker
  wait_frames
}

# --- Start 1 ---
cat >"$track/edinfo" <<'EOF'
add_point 0 5 5
add_gradient 300 300 320 300
add_point 0 0 0
add_point 1 10 1
add_point 0 10 2
add_point 0 20 0
add_point 0 nan 1
EOF
touch marker
start
key 7
shot before
click_line $new_gradient_line
click_line $copy_gradient_line
off_panel
key 8
click_line $set_from_terrain_line
off_panel
shot gradients
click_line $save_line
wait_newer "$track/edinfo"
off_panel
key p
wait_newer "$track/track.pov"
quit_via_exit_page 1
rc=$?
[ "$rc" = 0 ] || fail "start 1: exit code $rc"

for n in 1 5 7; do
  grep -q "edinfo' line $n:" "$log" || fail "the log does not name edinfo line $n"
done
[ "$(grep -c "edinfo' line" "$log")" = 3 ] || fail "the log names other edinfo lines"
cp "$track/edinfo" edinfo1
mkdir -p e1 && cp edinfo1 e1/edinfo
"$bkdata" check e1/edinfo >check_edinfo.txt 2>&1 || { cat check_edinfo.txt; fail "bkdata check refused edinfo"; }
python3 - edinfo1 <<'PY' || fail "edinfo is not as expected"
import sys
gradients = []
for line in open(sys.argv[1]).read().splitlines():
    w = line.split()
    if w[0] == "add_gradient":
        gradients.append(([float(x) for x in w[1:5]], []))
    elif w[0] == "add_point":
        gradients[-1][1].append((int(w[1]), float(w[2]), float(w[3])))
    else:
        sys.exit("stray line: " + line)
print(gradients)
assert "nan" not in open(sys.argv[1]).read()
assert len(gradients) == 3, len(gradients)
assert gradients[0] == ([300, 300, 320, 300], [(0, 0, 0), (1, 10, 1), (0, 20, 0)])
assert gradients[1] == ([512, 512, 562, 512], [(0, 0, 0), (0, 50, 0)])
axis, points = gradients[2]
assert axis == [512, 502, 562, 502], axis
assert len(points) >= 2 and points[0][1] == 0 and points[-1][1] == 50, points
assert all(a[1] < b[1] for a, b in zip(points, points[1:])), points
PY

# The saved files laid over the generated track load.
rm -rf overlaid
cp -r "$data/quarrybend" overlaid
cp "$track"/* overlaid/
"$bkdata" check overlaid >check_folder.txt 2>&1 || { cat check_folder.txt; fail "bkdata check refused the folder"; }

pov=$track/track.pov
for d in "#declare _rock = " "#declare _bale = " "#declare statues = union {" "#declare billboards = union {" \
  "#declare ground = height_field {"; do
  grep -qF "$d" "$pov" || fail "track.pov lacks '$d'"
done
grep -q "_tree()" "$pov" || fail "track.pov has no billboards"

command -v povray >/dev/null || fail "povray is not installed (scripts/setup.sh installs it)"
cat >overlaid/scene.pov <<'EOF'
#version 3.7;
global_settings { assumed_gamma 1.0 }
#macro _tree() cylinder { <0, 0, 0>, <0, 8, 0>, 2 pigment { rgb <0.1, 0.5, 0.1> } } #end
#include "track.pov"
camera { location <512, 1400, 512> look_at <512, 0, 512> sky <0, 0, 1> }
light_source { <200, 3000, -500> rgb 1 }
object { ground pigment { rgb <0.8, 0.5, 0.2> } }
object { statues }
object { billboards }
EOF
(cd overlaid && povray +Iscene.pov +Oscene.png +W64 +H48 -D +L"$data" +FN >../povray.txt 2>&1) ||
  { tail -n 30 povray.txt; fail "povray failed on track.pov"; }
e2e_python - overlaid/scene.png <<'PY' || fail "the rendered ground does not show"
import sys
from e2e_png import rgb
out = rgb(sys.argv[1])
k = 3 * (24 * 64 + 32)
r, g, b = out[k:k + 3]
print("centre pixel", r, g, b)
assert r > 60 and r > b + 20, (r, g, b)
PY

# The frame before the gradients against the one after: the two axes
# where the view's transform puts them (zoom 1: 480 pixels show 512
# units round (512, 512)), and the current tool's button drawn selected.
e2e_python - "$frames" <<'PY' || fail "the frames are not as expected"
import sys
from e2e_png import rgb
def pixels(name):
    return rgb(sys.argv[1] + "/files_%s.png" % name)
a, b = pixels("before"), pixels("gradients")
def at(p, x, y):
    k = 3 * (y * 640 + x)
    return p[k:k + 3]
def changed(y0, y1, x0=330, x1=360):
    return sum(1 for y in range(y0, y1) for x in range(x0, x1)
               if sum(abs(int(u) - int(v)) for u, v in zip(at(a, x, y), at(b, x, y))) > 12)
scale = 480 / 512
first = int(240 + (512 - 512) * scale)
copy = int(240 + (502 - 512) * scale)
print("changed round the first axis:", changed(first - 1, first + 2), "round the copy:", changed(copy - 1, copy + 2),
      "well below both:", changed(300, 303))
assert changed(first - 1, first + 2) >= 20
assert changed(copy - 1, copy + 2) >= 20
assert changed(300, 303) == 0
# Gradient Edit's button, line 11.
y = int((1.5 * 11 - 0.5) * 7.5)
mean = sum(sum(at(b, x, y)) for x in range(10, 140)) / (130 * 3)
print("Gradient Edit button brightness:", mean)
assert mean > 150
PY

# --- Start 2 ---
cp "$track/edinfo" edinfo_before
touch marker
start
key 7
shot reread
key s
wait_newer "$track/edinfo"
cmp -s edinfo_before "$track/edinfo" || fail "saving again changed edinfo"
e2e_python - "$frames" <<'PY' || fail "the gradients read back do not show"
import sys
from e2e_png import rgb
def pixels(name):
    return rgb(sys.argv[1] + "/files_%s.png" % name)
a, b = pixels("before"), pixels("reread")
def at(p, x, y):
    k = 3 * (y * 640 + x)
    return p[k:k + 3]
def changed(y0, y1):
    return sum(1 for y in range(y0, y1) for x in range(330, 360)
               if sum(abs(int(u) - int(v)) for u, v in zip(at(a, x, y), at(b, x, y))) > 12)
print("round the first axis:", changed(239, 242), "round the copy:", changed(230, 233))
assert changed(239, 242) >= 20 and changed(230, 233) >= 20
PY

# A folder named edinfo in the way: the set is not written.
rm "$track/edinfo"
mkdir "$track/edinfo"
(cd "$track" && find . -type f -exec md5sum {} + | sort) >sums_before
click_line $new_gradient_line
click_line $save_line
# The failed save ends with its message in the log.
save_refused() { log_has "Can't replace 'edinfo'" && [ ! -e "$track/.saving" ]; }
wait_pid=$pid wait_until save_refused
wait_frames
(cd "$track" && find . -type f -exec md5sum {} + | sort) >sums_after
cmp -s sums_before sums_after || { diff sums_before sums_after; fail "a failed save changed files"; }
[ -e "$track/.saving" ] && fail "the staging folder was left"
grep -q "Can't replace 'edinfo'" "$log" || fail "the log does not say edinfo could not be replaced"
quit_via_exit_page 2
rc=$?
[ "$rc" = 0 ] || fail "start 2: exit code $rc"

# The exit page's warning is red text, shown half the time.
e2e_python - "$frames" <<'PY' || fail "the exit pages do not warn as expected"
import sys
from e2e_png import rgb
def reds(name):
    out = rgb(sys.argv[1] + "/files_%s.png" % name)
    return sum(1 for k in range(0, len(out), 3) if out[k] > 200 and out[k + 1] < 60 and out[k + 2] < 60)
run1 = [reds("exit_1_%d" % k) for k in range(1, 9)]
run2 = [reds("exit_2_%d" % k) for k in range(1, 9)]
print("red pixels, start 1:", run1, "start 2:", run2)
assert max(run1) <= 50 and max(run2) >= 200
PY
exit 0
