#!/usr/bin/env bash
# The console page in the real game: Escape closes the main menu, the Chat
# key opens the console, typed commands change the settings, and the
# config written at the end holds them.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; tail -n 40 "$log" 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }
mkdir -p "$user"
printf 'video_mode=Windowed\nxres=640\nyres=480\n' >"$user/config"

"$exe" --track quarrybend 2>err.txt &
pid=$!
wait_for_window "$pid" || fail "no window"
for _ in $(seq 1200); do grep -q 'Max loading delay was' "$log" 2>/dev/null && break; sleep 0.1; done
sleep 1
grep -q 'Resetting' "$log" || fail "the race was never reset"
win=$(window_of "$pid")
xdotool mousemove --window "$win" 10 10 click 1 2>/dev/null
xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowactivate --sync "$win" 2>/dev/null
xdotool key Escape
sleep 0.2
xdotool key t
# A page change swallows that frame's keys.
sleep 0.3
for line in '/togglefps' Up '/messagelines 7' '/mapscale 0' '/fov 500' '/writesetup e2e' '/readsetup nosuch' \
  '/togglespam' '/log e 5' '/toggledecals'; do
  if [ "$line" = Up ]; then
    xdotool key Up
  else
    xdotool type --delay 20 "$line"
  fi
  xdotool key Return
  sleep 0.2
done
[ -n "${BK_CAPTURE:-}" ] && import -window root "$BK_CAPTURE"
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
python3 - "$log" <<'PY' || fail "the console lines are not in the log in order"
import sys
text = open(sys.argv[1], errors="replace").read()
at = 0
for want in ["FPS display ON", "FPS display OFF", "Maximum showing messages is now 7",
             "Map scale set to 0.125000", "fov set", "Setup written", "Error reading setup",
             "Hide spam OFF", "Logging 0x1, spacing 5.000000", "Hide decals ON"]:
    found = text.find(want, at)
    if found < 0:
        print("missing after offset %d: %s" % (at, want))
        sys.exit(1)
    at = found + len(want)
PY
for want in draw_fps=0 message_lines=7 map_scale=0.125000 fov=170.000000; do
  grep -qx "$want" "$user/config" || fail "config lacks $want"
done
[ -s "$user/setups/e2e" ] || fail "setups/e2e not written"
exit 0
