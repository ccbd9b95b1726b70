#!/usr/bin/env bash
# A run with options: the window has the size asked for, no sound is opened
# with --nosound, the shut-down steps come in order, the exit code is 0 and
# the config is written back with the new size and every other value as
# read.
# "--record-audio" makes its file and uses the readback driver; without
# either the sound device is opened and closed in order. A --bikes run
# notes that the option does nothing and runs on. "--connect" without its
# link prefix becomes the Server setting and the top of the server history,
# once. A binding to a key name
# that names no input is logged and the run goes on.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home
write_windowed_config
config=$dir/xdg/Brakkan/config

fail() { echo "$*"; cat err.txt 2>/dev/null; cat x.log 2>/dev/null; exit 1; }

# Starts brakkan with the given arguments, waits for its loading page,
# optionally captures its window into frame.png ($1 = 1), then ends it with
# SIGTERM; returns the exit code.
run_to_loading_page() {
  local capture=$1
  shift
  PAVO_LOGFILE=">x.log" "$exe" "$@" 2>err.txt &
  local pid=$!
  wait_for_window "$pid" || { kill -KILL "$pid"; wait "$pid"; fail "$*: no window"; }
  wait_pid=$pid wait_log 'GL_EXTENSIONS: ' x.log
  if [ "$capture" = 1 ]; then
    import -window "$(window_of "$pid")" frame.png || { kill -KILL "$pid"; fail "no frame captured"; }
  fi
  kill -s TERM "$pid"
  wait_or_kill "$pid" x.log
}

# The log's lines $@ appear in this order.
check_order() {
  local at=0 line n
  for line in "$@"; do
    n=$(grep -n -F -- "$line" x.log | head -n 1 | cut -d: -f1)
    [ -n "$n" ] && [ "$n" -gt "$at" ] || fail "log line '$line' missing or out of order"
    at=$n
  done
}

shutdown_lines=('Closing input devices' 'Closing audio' 'Writing config files' 'Freeing memory (2)'
                'Freeing memory (3)' 'Freeing file list' 'Freeing memory (4)' 'Deleting textures'
                'Deleting models' 'Window shutdown complete')
audio_lines='Opening waveOut audio|Opening readback audio|Audio opened|Audio thread'

# A first run writes the whole config; it is the one the sized run reads.
run_to_loading_page 0 --nosound
rc=$?
[ "$rc" = 0 ] || fail "first run: exit code $rc"
grep -qx 'video_mode=Windowed' "$config" || fail "first run: config lacks video_mode=Windowed"
cp "$config" config.read

run_to_loading_page 1 --width 400 --height 300 --nosound
rc=$?
[ "$rc" = 0 ] || fail "--nosound run: exit code $rc"
[ "$(identify -format '%wx%h' frame.png)" = 400x300 ] || fail "frame is $(identify -format '%wx%h' frame.png)"
grep -E -q "$audio_lines" x.log && fail "--nosound: audio was opened"
check_order 'Brakkan version' 'Creating window' 'GL_VENDOR: ' "${shutdown_lines[@]}"
sed -e 's/^xres=.*/xres=400/' -e 's/^yres=.*/yres=300/' config.read >config.expected
grep -qx 'xres=400' config.expected && grep -qx 'yres=300' config.expected || fail "config.read has no size lines"
cmp -s config.expected "$config" || { diff config.expected "$config"; fail "config not as read with the new size"; }

PAVO_OPTIONS='[dsnd:off]' run_to_loading_page 0 --record-audio a.raw
rc=$?
[ "$rc" = 0 ] || fail "--record-audio run: exit code $rc"
[ -f a.raw ] || fail "--record-audio: no a.raw"
grep -q 'Opening waveOut audio' x.log && fail "--record-audio: the device was opened"
check_order 'Creating window' 'Opening readback audio' 'Audio opened!' "${shutdown_lines[@]}"

# A file that cannot be made ends the run with 1 before the frame loop.
timeout "$hang_seconds" "$exe" --record-audio nosuchdir/a.raw </dev/null >/dev/null 2>err.txt
rc=$?
[ "$rc" = 1 ] || fail "unwritable --record-audio: exit code $rc"
[ "$(cat err.txt)" = "Can't write nosuchdir/a.raw" ] || fail "unwritable --record-audio: stderr '$(cat err.txt)'"

# The device (waveOut-like, so that its opening is logged) opens and closes.
PAVO_OPTIONS='[dsnd:off]' SDL_AUDIODRIVER=dummy run_to_loading_page 0
rc=$?
[ "$rc" = 0 ] || fail "run with sound: exit code $rc"
check_order 'Creating window' 'Opening waveOut audio' 'Audio thread begin' 'Closing audio' 'Audio thread end' \
            'Writing config files'

run_to_loading_page 0 --nosound --bikes 3
rc=$?
[ "$rc" = 0 ] || fail "--bikes run: exit code $rc"
grep -q -x -F -- "--bikes doesn't do anything anymore" err.txt || fail "--bikes: no notice on stderr"

for run in 1 2; do
  run_to_loading_page 0 --nosound --connect brakkanware:race.example.org
  rc=$?
  [ "$rc" = 0 ] || fail "--connect run $run: exit code $rc"
  grep -qx 'server_name=race.example.org' "$config" || fail "--connect run $run: server_name not saved"
  grep -qx 'server_name_hist00=race.example.org' "$config" || fail "--connect run $run: not on top of the history"
  grep -qx 'server_name_hist01=race.example.org' "$config" && fail "--connect run $run: pushed twice"
done

printf 'video_mode=Windowed\nthrottle_key=(k)nosuchkey\n' >"$config"
run_to_loading_page 0 --nosound
rc=$?
[ "$rc" = 0 ] || fail "run with an unknown key name: exit code $rc"
grep -q "throttle_key: no input named 'nosuchkey'" x.log || fail "unknown key name not logged"
exit 0
