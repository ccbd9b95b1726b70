#!/usr/bin/env bash
# brakkan races on the sample track at a locked 32 frames a second with its
# frames on standard output, 640 x 480, until SIGTERM. A later frame is
# the on-bike view: sky above, ground below and the bike's front (white
# fork legs, dark plate and bars) in the lower middle. The frame looked at
# is an early one: a robot with no auto pilot to hold it up at the gate
# tips over within a second or two, and the view rolls with it.
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

"$exe" --track quarrybend --lock-fps 32 --record-video --hidden-hud >v.ppm 2>err.txt &
pid=$!
# Three seconds of race is enough to look at.
for _ in $(seq 1200); do
  kill -0 "$pid" 2>/dev/null || break
  [ "$(stat -c %s v.ppm 2>/dev/null || echo 0)" -ge $((100 * frame_bytes)) ] && break
  sleep 0.1
done
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
frames=$(($(stat -c %s v.ppm) / frame_bytes))
[ "$frames" -ge 96 ] || fail "only $frames frames of 640 x 480"

python3 - <<'EOF' || fail "frame 10 is not the on-bike view"
import sys
w, h = 640, 480
size = 15 + w * h * 3
with open("v.ppm", "rb") as f:
    f.seek(10 * size)
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
# The bike's front: near-white or near-black pixels, which neither the sky
# nor the ground has.
bike = 0
for y in range(h // 2, h, 2):
    for x in range(w // 3, 2 * w // 3, 2):
        r, g, b = at(x, y)
        if min(r, g, b) > 200 or max(r, g, b) < 40:
            bike += 1
if bike < 800:
    sys.exit("no bike in the lower middle (%d pixels)" % bike)
EOF
exit 0
