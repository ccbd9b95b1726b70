#!/usr/bin/env bash
# The console page in the real game: Escape closes the main menu, the Chat
# key opens the console, and typed commands change the settings, write a
# setup, the track-info file and a camera keyframe file; the config written
# at the end holds the settings.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/console_lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
fail() { echo "$*"; tail -n 40 "$user/lastlog.txt" 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }
mkdir -p "$user"
printf 'video_mode=Windowed\nxres=640\nyres=480\n' >"$user/config"

console_session '/togglefps' Up '/messagelines 7' '/mapscale 0' '/fov 500' '/writesetup e2e' '/readsetup nosuch' \
  '/savetrackinfo' '/camangle 90 0' '/addkey' '/writekeys k1' '/togglespam' '/log e 5' '/toggledecals'
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
log_in_order "FPS display ON" "FPS display OFF" "Maximum showing messages is now 7" "Map scale set to 0.125000" \
  "fov set" "Setup written" "Error reading setup" "Track info saved to quarrybend.trackinfo" "Camera aimed" \
  "Keyframe added" "Camera keys saved" "Hide spam OFF" "Logging 0x1, spacing 5.000000" "Hide decals ON" ||
  fail "the console lines are not in the log in order"
for want in draw_fps=0 message_lines=7 map_scale=0.125000 fov=170.000000; do
  grep -qx "$want" "$user/config" || fail "config lacks $want"
done

# The setup written reads back whole through the game's reader.
"$data/../bkdata" check "$user/setups/e2e" >check.txt || { cat check.txt; fail "setups/e2e does not read back"; }

# Six lines, each ending in a line feed, the last the track's digest: that
# of its files as read, in the loader's order, the distinct statue shapes
# last (the start gates' first).
info=$user/quarrybend.trackinfo
[ "$(wc -l <"$info")" = 6 ] || fail "quarrybend.trackinfo is not six lines: $(cat "$info")"
[ "$(tail -c 1 "$info" | od -An -c | tr -d ' ')" = '\n' ] || fail "the last line has no line feed"
sed -n 1p "$info" | grep -qx 'dir=quarrybend' || fail "no dir= line: $(cat "$info")"
for key in longname firstlap normallap gatecount; do
  grep -q "^$key=" "$info" || fail "no $key= line: $(cat "$info")"
done
python3 - "$data" >hashed <<'PY' || fail "can't list the hashed files"
import os, re, sys
data = sys.argv[1]
track = os.path.join(data, "quarrybend")
out = b""
for name in ["terrain.hf", "terrain.png", "texturelist", "tilemap", "tileinfo", "timing_gates", "statues"]:
    path = os.path.join(track, name)
    if os.path.exists(path):
        out += open(path, "rb").read()
def at_name(word):
    return os.path.join(data, word[1:])
shapes = []
gates = open(os.path.join(track, "timing_gates")).read().split("checkpoints:")[0]
for line in gates.splitlines()[1:]:
    words = line.split()
    if line.startswith("["):
        shp = [w for w in words if w.endswith(".shp")]
        shapes.append(shp[0] if shp else "@startgate.shp")
for line in open(os.path.join(track, "statues")).read().splitlines():
    shp = [w for w in line.split() if w.endswith(".shp")]
    if shp:
        shapes.append(shp[-1])
seen = []
for s in shapes:
    if s not in seen:
        seen.append(s)
for s in seen:
    out += open(at_name(s), "rb").read()
sys.stdout.buffer.write(out)
PY
want=$("$data/../bkdata" digest hashed | awk '{print $1}')
got=$(sed -n 's/^hash=//p' "$info")
[ -n "$want" ] && [ "$got" = "$want" ] || fail "hash=$got, the files digest to $want"

# The keyframe: at yaw 90 and pitch 0 the camera turns about y alone.
keys=$user/keycam/k1
[ "$(wc -l <"$keys")" = 1 ] || fail "keycam/k1 is not one line: $(cat "$keys")"
grep -q ' 0.0000 0.7071 -0.0000 0.7071 ' "$keys" || fail "keycam/k1 has the wrong rotation: $(cat "$keys")"
"$data/../bkdata" check "$keys" >check.txt || { cat check.txt; fail "keycam/k1 is refused"; }
exit 0
