#!/usr/bin/env bash
# The graphics pages in the real game: a start with no detail settings
# derives the Compatibility preset, "Use High FPS Settings" sets the
# thirteen detail settings, "Switch To Selected Mode Now" turns the
# full-screen window into a 400 x 300 one, and the next start derives the
# High FPS values from the config.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
# The main menu takes keys once the game's frames run (no race loads
# without a track on the command line).
wait_for_menu() { wait_running "$started_at" || fail "the game never showed its main menu"; }
fail() { echo "$*"; tail -n 40 "$log" 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }
shot() { [ -n "${BK_CAPTURE:-}" ] && snap "${BK_CAPTURE%.png}-$1.png"; }
mkdir -p "$user"
printf 'video_mode=Default Fullscreen\nxres=400\nyres=300\n' >"$user/config"
compatibility='Detail settings: terrain 0.001786, ground skip 1, ground size 64, model LOD 1.000000 0.000000, texture skip 1, compress 0, roost 1000, reflections 1'
high_fps='Detail settings: terrain 0.002500, ground skip 3, ground size 64, model LOD 3.375000 12.500000, texture skip 3, compress 1, roost 0, reflections 0'

started_at=$(frames_shown)
"$exe" --nosound --debug 2>err.txt &
pid=$!
wait_for_window "$pid" || fail "no window"
wait_for_menu
grep -qF "$compatibility" "$log" || fail "no Compatibility line: $(grep 'Detail settings' "$log")"
win=$(window_of "$pid")
xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowactivate --sync "$win" 2>/dev/null
key() { press "$@"; }
key Down Down Down Down Down Down
key Return  # "Graphics/Sound Setup"
shot compatibility
key Down Down Down
key Return  # "Use High FPS Settings"
shot high-fps
key Down Down Down
key Right   # "Video Mode": "Windowed"
key Down
key Return  # "Switch To Selected Mode Now"
size=
window_size_is() {
  size=$(xwininfo -id "$win" 2>/dev/null | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')
  [ "$size" = "$1" ]
}
wait_pid=$pid wait_until window_size_is 400x300
shot windowed
[ "$size" = 400x300 ] || fail "the window is $size, not 400x300"

kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
for want in ground_detail=50.000000 ground_texture_detail=7.000000 ground_texture_dim=64x64 ground_mipmaps=Yes \
  texture_compress=Yes render_texture=Hardware/Direct use_shader=No model_detail=25.000000 \
  model_texture_detail=7.000000 lens_flare=No reflections=No roost_density=0.000000 reshade_delay=10.000000 \
  video_mode=Windowed; do
  grep -qx "$want" "$user/config" || fail "config lacks $want"
done

# The next start reads them back.
started_at=$(frames_shown)
"$exe" --nosound --debug 2>err.txt &
pid=$!
wait_for_window "$pid" || fail "no window on the second start"
wait_for_menu
grep -qF "$high_fps" "$log" || fail "no High FPS line: $(grep 'Detail settings' "$log")"
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
[ "$rc" = 0 ] || fail "second run: exit code $rc, expected 0"
exit 0
