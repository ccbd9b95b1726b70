#!/usr/bin/env bash
# brakkan races on the sample track at a locked 32 frames a second, writing
# the sound it mixes to a file (1380 bytes a tick) and its frames to
# standard output as PPM: four ticks to a frame, so frame k shows race
# time k/32 s. SIGTERM ends the run in order. A reader that goes away stops
# only the video; a track that does not load leaves the loading screen.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; tail -n 30 "$log" 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }
mkdir -p "$user"
printf 'video_mode=Windowed\nxres=160\nyres=120\n' >"$user/config"

block=1380
frame_bytes=$((15 + 160 * 120 * 3))

# Waits until file $2 holds $3 bytes while process $1 runs.
wait_for_bytes() {
  wait_pid=$1 wait_until file_has "$2" "$3"
}

# 1. Four seconds of race. (scene_capture.sh records sound and frames on
# through the gate drop, 20 s, and checks the same lockstep there.)
"$exe" --track quarrybend --lock-fps 32 --record-audio a.raw --record-video --hidden-hud >v.ppm 2>err.txt &
pid=$!
wait_for_bytes "$pid" a.raw $((4 * 128 * block)) || fail "a.raw never held 4 s"
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
audio=$(stat -c %s a.raw)
video=$(stat -c %s v.ppm)
[ $((audio % block)) = 0 ] || fail "a.raw ($audio bytes) is not whole ticks"
[ $((video % frame_bytes)) = 0 ] || fail "v.ppm ($video bytes) is not whole 160 x 120 frames"
ticks=$((audio / block))
frames=$((video / frame_bytes))
[ "$ticks" = $((4 * frames)) ] || fail "$ticks ticks for $frames frames, expected 4 a frame"
python3 - "$frames" <<'EOF' || fail "a frame header is not P6 160 120 255"
import sys
frames = int(sys.argv[1])
size = 15 + 160 * 120 * 3
with open("v.ppm", "rb") as f:
    for k in range(frames):
        f.seek(k * size)
        if f.read(15) != b"P6\n160 120\n255\n":
            sys.exit(1)
EOF
for line in 'Resetting' 'Max loading delay was' 'MB texture memory used' 'Deallocating track' 'Writing config files'; do
  grep -q "$line" "$log" || fail "the log lacks '$line'"
done
grep -qx 'xres=160' "$user/config" && [ -f "$user/config~" ] || fail "config not rewritten"

# 2. The reader of the frames goes away: the race runs on.
"$exe" --track quarrybend --lock-fps 32 --record-audio b.raw --record-video --hidden-hud 2>err2.txt \
  > >(head -c 100000 >/dev/null) &
pid=$!
wait_for_bytes "$pid" b.raw $((2 * 128 * block)) || fail "the piped run stopped"
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "piped run: exit code $rc"
grep -q 'Video recording stopped' "$log" || fail "the stop of the video is not logged"
grep -q 'Writing config files' "$log" || fail "the piped run did not shut down in order"

# 3. A track whose terrain is cut short.
cp -r "$data/quarrybend" "$user/broken"
truncate -s 12 "$user/broken/terrain.hf"
"$exe" --track broken 2>err3.txt &
pid=$!
wait_for_window "$pid" || fail "no window for the broken track"
wait_pid=$pid wait_log "Can't load track \"broken\""
grep -q 'Can.t load track "broken"' "$log" || fail "no line names the broken track"
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "broken track: exit code $rc"
exit 0
