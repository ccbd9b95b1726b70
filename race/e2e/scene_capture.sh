#!/usr/bin/env bash
# brakkan races on the sample track at a locked 16 frames a second with its
# frames on standard output, 640 x 480, and its sound in a file, until
# SIGTERM. A later frame is the on-bike view: sky above, ground below and
# the bike's front (white fork legs, dark plate and bars) in the lower
# middle. The frame looked at is an early one, while the robot still waits
# at the gate. The start gate drops 13 to 15 s into the race (frame k shows
# race time k/16 s): its arm falls in front of the bike while the view
# stands still, and then the robot rides away over it. The sound stays in
# step with the frames through the drop: eight whole ticks to a frame.
#
# Sixteen frames a second see every check that thirty-two do (the pace is
# the race's own either way) for half the drawing and half the frames'
# bytes (about 270 MB).
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home
write_windowed_config

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; tail -n 30 "$log" 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }
frame_bytes=$((15 + 640 * 480 * 3))
block=1380  # sound bytes a tick

"$exe" --track quarrybend --lock-fps 16 --record-audio a.raw --record-video --hidden-hud >v.ppm 2>err.txt &
pid=$!
# 18.5 s of race: the drop comes before 15 s (frame 240) and the checks
# read up to three seconds after the first frame it shows in.
wait_pid=$pid wait_file v.ppm $((296 * frame_bytes))
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
video=$(stat -c %s v.ppm)
audio=$(stat -c %s a.raw)
[ $((video % frame_bytes)) = 0 ] || fail "v.ppm ($video bytes) is not whole 640 x 480 frames"
[ $((audio % block)) = 0 ] || fail "a.raw ($audio bytes) is not whole ticks"
frames=$((video / frame_bytes))
[ "$frames" -ge 296 ] || fail "only $frames frames of 640 x 480"
[ $((audio / block)) = $((8 * frames)) ] || fail "$((audio / block)) ticks for $frames frames, expected 8 a frame"

python3 - <<'EOF' || fail "frame 5 is not the on-bike view"
import sys
w, h = 640, 480
size = 15 + w * h * 3
with open("v.ppm", "rb") as f:
    f.seek(5 * size)
    if f.read(15) != b"P6\n640 480\n255\n":
        sys.exit("not a 640 x 480 frame")
    px = f.read(w * h * 3)

def at(x, y):
    i = 3 * (x + w * y)
    return px[i], px[i + 1], px[i + 2]

def mean(x0, y0, x1, y1):
    s = [0, 0, 0]
    n = 0
    for y in range(y0, y1, 2):
        for x in range(x0, x1, 2):
            c = at(x, y)
            for k in range(3):
                s[k] += c[k]
            n += 1
    return [v / n for v in s]

top = mean(0, 0, w, 40)
bottom_left = mean(0, h - 60, 120, h)
if not (top[2] > top[0] + 30 and top[2] > 150):
    sys.exit("the top is not sky: %s" % top)
if not (bottom_left[2] < bottom_left[0] + 30):
    sys.exit("the bottom is not ground: %s" % bottom_left)
# The bike's front: the tyre's dark grey or the fork's deep skin colour,
# which neither the sky nor the ground has.
bike = 0
for y in range(h // 2, h, 2):
    for x in range(w // 3, 2 * w // 3, 2):
        r, g, b = at(x, y)
        tyre = max(r, g, b) < 90 and max(r, g, b) - min(r, g, b) < 25
        fork = b > 120 and r < 80 and g < 80
        if tyre or fork:
            bike += 1
if bike < 800:
    sys.exit("no bike in the lower middle (%d pixels)" % bike)
EOF

python3 - <<'EOF' || fail "the start gate and the robot at the drop"
import sys
w, h = 640, 480
size = 15 + w * h * 3
f = open("v.ppm", "rb")
cache = {}

def frame(k):
    if k not in cache:
        f.seek(k * size + 15)
        cache[k] = f.read(w * h * 3)
    return cache[k]

# Mean difference of every other pixel of rows y0..y1 of frames a and b.
def diff(a, b, y0, y1):
    pa, pb = frame(a), frame(b)
    s = n = 0
    for y in range(y0, y1, 2):
        ra = pa[3 * w * y:3 * w * (y + 1):6]
        rb = pb[3 * w * y:3 * w * (y + 1):6]
        s += sum(abs(p - q) for p, q in zip(ra, rb))
        n += len(ra)
    return s / n

def upper(a, b):
    return diff(a, b, 0, h // 2)

def lower(a, b):
    return diff(a, b, h // 2, h)

# 10 s to 13 s: the gate is up, the robot waits behind it, nothing moves.
for k in range(161, 208):
    if lower(k - 1, k) > 0.5 or upper(k - 1, k) > 0.5:
        sys.exit("frame %d moved before the gate could drop (%.2f below, %.2f above)"
                 % (k, lower(k - 1, k), upper(k - 1, k)))
# The first motion after 13 s is the arm's: the lower half of the view
# changes (the arm falls across it) while the sky and horizon stand still.
m = next((k for k in range(208, 248) if lower(k - 1, k) > 1.0), None)
if m is None:
    sys.exit("nothing moved between 13 s and 15.5 s: the gate never dropped")
# An eighth of a second across the first motion.
if upper(m - 1, m + 1) > 0.3 or lower(m - 1, m + 1) < 3.0:
    sys.exit("at frame %d the view moved (%.2f above), or the arm hardly did (%.2f below)"
             % (m, upper(m - 1, m + 1), lower(m - 1, m + 1)))
# Then the robot rides away: two seconds on, the view is somewhere else, and
# it keeps moving.
if upper(m - 1, m + 32) < 3.0 or lower(m - 1, m + 32) < 5.0:
    sys.exit("two seconds after the drop (frame %d) the view is where it was at the gate" % m)
# Frames a sixteenth of a second apart differ more than frames half that
# apart: 1.5 here asks as much as 1.0 did of frames a 32nd apart.
moving = sum(lower(k - 1, k) + upper(k - 1, k) for k in range(m + 17, m + 49)) / 32
if moving < 1.5:
    sys.exit("the view stopped moving 1 to 3 s after the drop (frame %d): %.2f" % (m, moving))
print("gate drop seen at frame %d" % m)
EOF
exit 0
