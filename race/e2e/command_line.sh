#!/usr/bin/env bash
# Command-line errors: brakkan prints one line on standard error (and in its
# log), exits 1 before it opens a window, and leaves the config file as it
# was. An unknown --track and data without any track end the same way once
# the window is open, which is closed in order. "--open-home" among other
# options opens the per-user folder and ends with 0, also before any window.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

fail() { echo "$*"; cat err.txt 2>/dev/null; cat log.txt 2>/dev/null; exit 1; }

home=$dir/xdg/Brakkan
mkdir -p "$home"
printf 'video_mode=Windowed\nxres=320\nyres=240\n' >config.before

# Runs brakkan with the arguments after the first; checks exit code 1, the
# stderr line $1, the same line in the log, no window, the config unchanged.
check_refused() {
  local line=$1 window=no
  shift
  [ "$1" = --window ] && { window=yes; shift; }
  cp config.before "$home/config"
  rm -f "$home/lastlog.txt"
  timeout "$hang_seconds" "$exe" "$@" </dev/null >/dev/null 2>err.txt
  local rc=$?
  [ "$rc" = 1 ] || fail "$*: exit code $rc, expected 1"
  [ "$(cat err.txt)" = "$line" ] || fail "$*: stderr '$(cat err.txt)', expected '$line'"
  cp "$home/lastlog.txt" log.txt 2>/dev/null
  grep -q -F -- "$line" log.txt || fail "$*: '$line' not in the log"
  if [ "$window" = no ]; then
    grep -q 'Creating window' log.txt && fail "$*: a window was opened"
  else
    grep -q 'Window shutdown complete' log.txt || fail "$*: the window was not closed in order"
    grep -q 'Writing config files' log.txt && fail "$*: the config was written"
  fi
  cmp -s config.before "$home/config" || fail "$*: the config changed"
  return 0
}

check_refused "bad option '--editor=1'" --editor=1
check_refused "Bad arg for --texture-detail" --texture-detail x
check_refused "Bad arg for --width" --width -5
check_refused "Bad arg for --zdepth" --zdepth=abc
check_refused "Bad arg for --lock-fps" --lock-fps nan
check_refused "Bad arg for --track" --nosound --track
check_refused "Too many files!" one.bkdemo two.bkdemo
check_refused "Unknown track 'nosuch'" --window --nosound --track nosuch

# Game data without any track folder: the archive and everything else but
# the sample track.
mkdir notracks
for f in "$data"/*; do
  [ "$(basename "$f")" = quarrybend ] || ln -s "$f" notracks/
done
export BK_HOME=$dir/notracks
check_refused "No tracks found" --window --nosound
export BK_HOME=$data

# --open-home after other options: the opener runs, no window, exit 0.
mkdir bin
cat >bin/xdg-open <<'SCRIPT'
#!/bin/sh
printf '%s\n' "$@" >>"$HOME/opened.txt"
SCRIPT
chmod +x bin/xdg-open
cp config.before "$home/config"
rm -f "$home/lastlog.txt"
PATH=$dir/bin:$PATH timeout "$hang_seconds" "$exe" --nosound --open-home --width -5 </dev/null >/dev/null 2>err.txt
rc=$?
[ "$rc" = 0 ] || fail "--open-home among others: exit code $rc, expected 0"
[ "$(cat opened.txt 2>/dev/null)" = "$home" ] || fail "--open-home among others: opened '$(cat opened.txt 2>/dev/null)'"
grep -q 'Creating window' "$home/lastlog.txt" && fail "--open-home among others: a window was opened"
cmp -s config.before "$home/config" || fail "--open-home among others: the config changed"
exit 0
