#!/usr/bin/env bash
# brakkan races on the sample track twice at once at a locked 32 frames a
# second with its frames on standard output, once with the HUD and the FPS
# and time lines and once with "--hidden-hud". The same frame of both runs
# (the same tick, so the same 3-D view) differs where the tachometer, the
# gear, the pit board and the status lines are drawn, and matches in the
# places no overlay reaches.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home
write_windowed_config

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; tail -n 30 "$log" 2>/dev/null; cat err*.txt 2>/dev/null; exit 1; }
frame_bytes=$((15 + 640 * 480 * 3))

# The two runs go side by side, each with a user folder and an X server of
# its own: the first on the script's display, the second on one more.
second_display

# One run into $1 with user folder $2 on display $3 and the extra options
# after them, ended by SIGTERM once 130 frames (four seconds of race) are
# out.
run() {
  local out=$1 xdg=$2 display=$3
  shift 3
  local log=$xdg/Brakkan/lastlog.txt
  mkdir -p "$xdg/Brakkan"
  printf 'video_mode=Windowed\n' >"$xdg/Brakkan/config"
  DISPLAY=$display XDG_DATA_HOME=$xdg \
    "$exe" --track quarrybend --lock-fps 32 --draw-fps 1 --draw-time 1 --record-video "$@" >"$out" 2>"err-$out.txt" &
  local pid=$!
  wait_pid=$pid wait_file "$out" $((130 * frame_bytes))
  kill -TERM "$pid"
  wait_or_kill "$pid" "$log"
  local rc=$?
  [ "$rc" = 0 ] || fail "exit code $rc, expected 0 ($out)"
  local frames=$(($(stat -c %s "$out") / frame_bytes))
  [ "$frames" -ge 120 ] || fail "only $frames frames of 640 x 480 in $out"
}
run hud.ppm "$dir/xdg" "$DISPLAY" &
hud_run=$!
run bare.ppm "$dir/xdg-bare" "$display2" --hidden-hud &
bare_run=$!
wait "$hud_run" || exit 1
wait "$bare_run" || exit 1

python3 - <<'EOF' || fail "the HUD frames are wrong"
import sys
w, h = 640, 480
size = 15 + w * h * 3
# Past the start caption (3 s of race clock).
index = 115

def frame(name):
    with open(name, "rb") as f:
        f.seek(index * size)
        if f.read(15) != b"P6\n640 480\n255\n":
            sys.exit("%s: not a 640 x 480 frame" % name)
        return f.read(w * h * 3)

hud, bare = frame("hud.ppm"), frame("bare.ppm")

def differing(x0, y0, x1, y1):
    n = 0
    for y in range(y0, y1):
        for x in range(x0, x1):
            i = 3 * (x + w * y)
            if sum(abs(hud[i + k] - bare[i + k]) for k in range(3)) > 24:
                n += 1
    return n

regions = {
    "tachometer": (540, 380, 640, 480, 1500),
    "gear": (572, 412, 596, 436, 30),
    "pit board": (10, 360, 140, 460, 1500),
    "FPS line": (0, 0, 90, 10, 15),
    "time line": (0, 10, 110, 20, 15),
}
for name, (x0, y0, x1, y1, least) in regions.items():
    n = differing(x0, y0, x1, y1)
    if n < least:
        sys.exit("%s: only %d pixels differ" % (name, n))
# Inside the lean indicator's ring, and the top and bottom middle beyond
# it: the same 3-D view.
for name, (x0, y0, x1, y1) in {"centre": (250, 170, 390, 310), "top": (250, 0, 390, 12),
                               "bottom": (250, 468, 390, 480)}.items():
    n = differing(x0, y0, x1, y1)
    if n > (x1 - x0) * (y1 - y0) // 100:
        sys.exit("%s: %d pixels differ where no overlay is drawn" % (name, n))
EOF
exit 0
