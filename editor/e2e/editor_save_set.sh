#!/usr/bin/env bash
# The editor's save set in the real game.
# 1. "s" with no edit, while the track's script sways and tints its
#    objects: every saved file equals the generated one value for value,
#    and bkdata check accepts each file and the per-user folder.
# 2. "p": the exported track.pov renders with POV-Ray in the folder it is
#    written to, with the few lines the README gives for the billboards.
# 3. Kills: with a marked old set in the per-user track folder, "s" and a
#    kill -9 at a random moment of the save, first plain, then with every
#    rename slowed by 150 ms. Each next start must log that it finished or
#    undid the save and hold the whole new or the whole old set, with no
#    staging folder left. BK_SAVE_KILLS sets the number of kills of each
#    kind.
set -u
exe=$1
data=$2
bkdata=$3
kills=${BK_SAVE_KILLS:-4}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../race/e2e/lib.sh"
enter_temp_home
write_windowed_config
user=$dir/xdg/Brakkan
track=$user/quarrybend
log=$user/lastlog.txt
frames=${BK_TEST_FRAMES:-$dir/frames}
mkdir -p "$frames"
game=
fail() {
  echo "$*"
  tail -n 30 "$log" 2>/dev/null
  cat err.txt 2>/dev/null
  [ -n "$game" ] && kill -KILL "$game" 2>/dev/null
  exit 1
}
saved_files="billboards timing_gates terrain.hf terrain.png shading.ppm shadingx2.ppm tilemap decals statues edinfo"

# Renames that take 150 ms each, for the slowed runs.
cat >slow_rename.c <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <time.h>
int rename(const char* from, const char* to) {
  static int (*real)(const char*, const char*);
  if (!real) real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
  struct timespec t = {0, 150000000};
  nanosleep(&t, 0);
  return real(from, to);
}
EOF
cc -shared -fPIC -o slow_rename.so slow_rename.c -ldl || fail "can't build the rename shim"
slowed_env="LD_PRELOAD=$dir/slow_rename.so ASAN_OPTIONS=${ASAN_OPTIONS:-}:verify_asan_link_order=0"

# Starts the editor on quarrybend ($1: extra environment) and waits until
# the track is loaded and the editor's view has taken the keys: game pid
# in $game (and $pid, for the waits), window in $win.
start() {
  rm -f "$log"
  env ${1:-} "$exe" --editor --erode 0 --track quarrybend </dev/null >/dev/null 2>err.txt &
  game=$!
  pid=$game
  wait_for_window "$game" || fail "no window"
  wait_pid=$game wait_log "Max loading delay" || fail "the track did not load"
  win=$(window_of "$game")
  xdotool mousemove --window "$win" 400 240
  press Escape Tab || fail "the editor's view did not take its keys"
}

# Presses "s" once the editor has taken the keys before it: the game
# saves in the frame that takes the press.
press_save() { press s; }

# watch_save MODE [DELAY PID]: waits for the save's staging folder to
# appear (for as long as a hang takes). "length": prints the seconds until
# it is gone again. "kill": kills PID DELAY seconds after it appeared and
# prints whether it was still there. A poller of its own: the moments are
# a millisecond apart, not a process start.
watch_save() {
  python3 - "$track/.saving" "$hang_seconds" "$@" <<'PY'
import os, signal, sys, time
staging, limit, mode = sys.argv[1], float(sys.argv[2]), sys.argv[3]
open("watching", "w").close()
end = time.time() + limit
while not os.path.exists(staging):
    if time.time() > end:
        sys.exit("the save did not start")
    time.sleep(0.0002)
t0 = time.time()
if mode == "kill":
    time.sleep(max(0.0, float(sys.argv[4]) - (time.time() - t0)))
    os.kill(int(sys.argv[5]), signal.SIGKILL)
    print("yes" if os.path.exists(staging) else "no")
else:
    while os.path.exists(staging):
        if time.time() > end:
            sys.exit("the save did not end")
        time.sleep(0.0002)
    print(round(time.time() - t0, 4))
PY
}

# Starts watch_save "$@" in the background (its pid in $watcher, its
# output in $out) and waits until it polls. The marks of the last watch go
# first: a press sent while a stale mark stood would save unwatched.
start_watch() {
  local out=$1
  shift
  rm -f watching
  watch_save "$@" >"$out" &
  watcher=$!
  wait_file watching 0 || fail "the save watcher did not start"
}

# How long a save of the running game takes: the shortest of $1 saves, so
# that a kill within it meets the save still running.
save_length() {
  local shortest= t
  for _ in $(seq "${1:-1}"); do
    start_watch length.txt length
    press_save || fail "the save did not start"
    wait "$watcher" || fail "the save did not end"
    t=$(cat length.txt)
    [[ $t =~ ^[0-9.]+$ ]] || fail "no save length: $t"
    if [ -z "$shortest" ] || python3 -c "import sys; sys.exit(not $t < $shortest)"; then shortest=$t; fi
  done
  echo "$shortest"
}

# --- 1. A save with no edit ---
start
wait_pid=$game wait_log "frills loaded" || fail "the track script did not start"
# Taken after the script's first frames: the tree leans, the sign turns and
# the second tree has its tint; and the editor's view, which the start's
# keys asked for, is drawn.
wait_frames 3
import -window "$win" "$frames/save_set_editor.png"
# The load's message lines stand right of the side panel, not over its
# tool buttons.
python3 - "$frames/save_set_editor.png" <<'PY' || fail "the message lines are not beside the panel"
import subprocess, sys
w, h = map(int, subprocess.run(["identify", "-format", "%w %h", sys.argv[1]], capture_output=True, check=True,
                                text=True).stdout.split())
rgb = subprocess.run(["convert", sys.argv[1], "rgb:-"], capture_output=True, check=True).stdout
def bright(x0, x1, y0, y1):
    return sum(1 for y in range(y0, y1) for x in range(x0, x1)
               if min(rgb[3 * (x + w * y) : 3 * (x + w * y) + 3]) > 150)
panel = 21 * h // 64
beside = bright(panel + 10, w, 0, h // 12)
print("bright text pixels beside the panel:", beside)
assert beside > 100, beside
PY
save_length >/dev/null
[ -e "$track/edinfo" ] || fail "the save wrote no edinfo"
python3 - "$data/quarrybend" "$track" <<'PY' || fail "the saved files differ from the generated ones"
import re, subprocess, sys
made, saved = sys.argv[1], sys.argv[2]
def tokens(path):
    return re.split(r"[\s\[\]]+", open(path).read().strip())
def close(a, b):
    try:
        x, y = float(a), float(b)
    except ValueError:
        return a == b
    return abs(x - y) <= 1e-6 + 1e-6 * abs(x)
for name in ["billboards", "statues", "timing_gates", "terrain.hf", "decals"]:
    a, b = tokens(f"{made}/{name}"), tokens(f"{saved}/{name}")
    assert len(a) == len(b), (name, len(a), len(b))
    bad = [(i, x, y) for i, (x, y) in enumerate(zip(a, b)) if not close(x, y)]
    assert not bad, (name, bad[:5])
    print(name, len(a), "values equal")
assert open(f"{made}/tilemap", "rb").read() == open(f"{saved}/tilemap", "rb").read(), "tilemap"
print("tilemap equal byte for byte")
def samples(path, depth):
    return subprocess.run(["convert", path, "-depth", depth, "gray:-" if depth == "16" else "rgb:-"],
                          capture_output=True, check=True).stdout
assert samples(f"{made}/terrain.png", "16") == samples(f"{saved}/terrain.png", "16"), "terrain.png"
print("terrain.png samples equal")
for name in ["shading.ppm", "shadingx2.ppm"]:
    a, b = samples(f"{made}/{name}", "8"), samples(f"{saved}/{name}", "8")
    worst = max(abs(x - y) for x, y in zip(a, b))
    assert len(a) == len(b) and worst <= 1, (name, worst)
    print(name, "within", worst)
PY

# Every file the save wrote, and the folder laid over the generated data.
for f in $saved_files; do
  [ -e "$track/$f" ] || continue
  "$bkdata" check "$track/$f" >>check.txt 2>&1 || { cat check.txt; fail "bkdata check refused the saved $f"; }
done
"$bkdata" check "$track" >>check.txt 2>&1 || { cat check.txt; fail "bkdata check refused the per-user folder"; }
echo "bkdata check accepts the $(grep -c . check.txt) saved files and folder"

# --- 2. The scene export renders where it is written ---
press p || fail "the export key was not taken"
wait_file "$track/track.pov" || fail "no track.pov"
cat >"$track/scene.pov" <<'EOF'
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
command -v povray >/dev/null || fail "povray is not installed (scripts/setup.sh installs it)"
(cd "$track" && povray +Iscene.pov +O"$dir/scene.png" +W64 +H48 -D >"$dir/povray.txt" 2>&1) ||
  { tail -n 20 povray.txt; fail "povray failed on track.pov in its own folder"; }
rm "$track/scene.pov" "$track/track.pov"

# --- 3. Kills ---
save_length 3 >plain.txt
plain=$(cat plain.txt)
mkdir new old
for f in $saved_files; do
  [ -e "$track/$f" ] || continue
  cp "$track/$f" new/
  # The old set: the new one with a byte more, which every reader ignores.
  { cat "$track/$f"; printf '\n'; } >"old/$f"
done

# The set in the per-user folder: "new", "old" or "mixed".
which_set() {
  local f n=0 o=0 total=0
  for f in new/*; do
    f=${f#new/}
    total=$((total + 1))
    cmp -s "new/$f" "$track/$f" && n=$((n + 1))
    cmp -s "old/$f" "$track/$f" && o=$((o + 1))
  done
  if [ "$n" = "$total" ]; then echo new; elif [ "$o" = "$total" ]; then echo old; else echo mixed; fi
}

finished=0 undone=0 after=0 round=0
# kill_save KIND LENGTH NEXT_ENV: the running game saves over the old set
# and is killed at a random moment of the save; the next start (with
# NEXT_ENV) is checked.
kill_save() {
  round=$((round + 1))
  cp old/* "$track/"
  local delay staged taken
  delay=$(python3 -c "import random; print(round(random.uniform(0, $2), 4))")
  start_watch staged.txt kill "$delay" "$game"
  taken=$(presses_taken)
  xdotool key s
  wait "$watcher" || fail "round $round: the save was not met (presses taken: $taken before, $(presses_taken) now)"
  wait "$game" 2>/dev/null
  staged=$(cat staged.txt)
  start "$3"
  local set
  set=$(which_set)
  [ -e "$track/.saving" ] || [ -e "$track/.saving.done" ] && fail "round $round ($1): the staging folder is left"
  if grep -q "Finished the interrupted save of '@quarrybend'" "$log"; then
    [ "$set" = new ] || fail "round $round ($1): finished, but the set is $set"
    finished=$((finished + 1))
  elif grep -q "Undid the interrupted save of '@quarrybend'" "$log"; then
    [ "$set" = old ] || fail "round $round ($1): undone, but the set is $set"
    undone=$((undone + 1))
  else
    [ "$staged" = no ] && [ "$set" = new ] || fail "round $round ($1): nothing logged, the set is $set"
    after=$((after + 1))
  fi
  echo "round $round ($1): killed ${delay} s in, staging $staged, next start: set $set"
}

for k in $(seq "$kills"); do
  next=
  [ "$k" = "$kills" ] && next=$slowed_env
  kill_save plain "$plain" "$next"
done
save_length 2 >slowed.txt
slowed=$(cat slowed.txt)
for k in $(seq "$kills"); do kill_save slowed "$slowed" "$slowed_env"; done
kill -TERM "$game"
wait_or_kill "$game" "$log" >/dev/null
echo "a save takes ${plain} s, ${slowed} s with slowed renames"
echo "kills: $round; finished $finished, undone $undone, killed after the save $after"
[ "$finished" -gt 0 ] && [ "$undone" -gt 0 ] || [ "$round" -lt 8 ] || fail "the kills did not meet both halves of the save"
echo "editor save set ok"
