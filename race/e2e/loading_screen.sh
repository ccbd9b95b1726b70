#!/usr/bin/env bash
# brakkan starts on the generated data, logs its version and GL lines,
# shows the title picture on its loading screen (a captured frame has the
# picture's colours where the picture is, or those under the main menu's
# grey backdrop once start-up is over, and the build string drawn with the
# generated font), and on SIGTERM shuts down in order with exit code 0.
# Frames are captured with ImageMagick's import.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home
write_windowed_config

fail() { echo "$*"; cat x.log 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }

# Writes the archive member $2 of $1 to $3.
extract_member() {
  local header size name offset
  header=$(grep -a -b -m 1 -x -- '-' "$1" | cut -d: -f1)
  [ -n "$header" ] || return 1
  offset=$((header + 2))
  while read -r size name; do
    if [ "$name" = "$2" ]; then
      tail -c +$((offset + 1)) "$1" | head -c "$size" >"$3"
      return 0
    fi
    offset=$((offset + size))
  done < <(head -c "$header" "$1")
  return 1
}

# Mean red, green and blue (0..1) of a region of picture $1 given as
# fractions x0 y0 x1 y1 of the part of the picture that shows, which is the
# centre $2 of its width and all of its height.
region_mean() {
  local w h
  read -r w h < <(identify -format '%w %h\n' "$1")
  local crop
  crop=$(awk -v w="$w" -v h="$h" -v f="$2" -v x0="$3" -v y0="$4" -v x1="$5" -v y1="$6" 'BEGIN {
    left = w * (1 - f) / 2; span = w * f
    printf "%dx%d+%d+%d", span * (x1 - x0), h * (y1 - y0), left + span * x0, h * y0 }')
  identify -format '%[fx:mean.r] %[fx:mean.g] %[fx:mean.b]\n' "$1[$crop]"
}

started_at=$(frames_shown)
PAVO_LOGFILE=">x.log" "$exe" 2>err.txt &
pid=$!
wait_for_window "$pid" || { kill -KILL "$pid"; fail "no window titled Brakkan"; }
wait_pid=$pid wait_log 'GL_EXTENSIONS: ' x.log || fail "the renderer never started"
# Start-up is over once the frames run: the picture stays, under the main
# menu, and every file start-up loads has been read (an end sooner would
# cut the loading short).
wait_running "$started_at" || fail "start-up never ended"
id=$(window_of "$pid")
snap frame.png "$id" || { kill -KILL "$pid"; fail "no frame captured"; }
kill -s TERM "$pid"
wait_or_kill "$pid"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc after SIGTERM, expected 0"

at=0
for line in 'Brakkan version 2020-07-23-1524 snapshot' 'Creating OpenGL context' 'Listing directories' \
            'File index complete' 'GL_VENDOR: ' 'GL_RENDERER: ' 'GL_VERSION: ' 'GL_EXTENSIONS: ' \
            'Freeing file list' 'Freeing memory (4)' 'Deleting textures' 'Deleting models' 'Deleting OpenGL context' \
            'Window shutdown complete'; do
  n=$(grep -n -F "$line" x.log | head -n 1 | cut -d: -f1)
  [ -n "$n" ] && [ "$n" -gt "$at" ] || fail "log line '$line' missing or out of order"
  at=$n
done
# Whole messages: the sound device ("Can't open waveOut") is the machine's.
grep -F -e "Can't open '" -e "Can't open texture" -e "Can't open font" -e "Can't open sound" x.log &&
  fail "something did not load"
# Our own data start the game without a complaint.
grep -F "Warning" x.log && fail "the generated data gave a warning"

extract_member "$data/zzzz.saf" title.png title.png || fail "no title.png in the archive"
read -r fw fh < <(identify -format '%w %h\n' frame.png)
# The picture keeps 2:1 and fills the height: a narrower view shows the
# centre of it.
shown=$(awk -v w="$fw" -v h="$fh" 'BEGIN { print w / h / 2 }')
compare_region() {  # what, x0 y0 x1 y1
  local what=$1
  shift
  local got want
  got=$(region_mean frame.png 1 "$@")
  want=$(region_mean title.png "$shown" "$@")
  # Once start-up is over the main menu lies over the picture, its
  # backdrop a half-opaque 0.2 grey.
  awk -v g="$got" -v w="$want" 'BEGIN {
    split(g, a, " "); split(w, b, " "); plain = 1; under_menu = 1
    for (i = 1; i <= 3; i++) {
      d = a[i] - b[i]; if (d < 0) d = -d; if (d > 0.06) plain = 0
      d = a[i] - (b[i] / 2 + 0.1); if (d < 0) d = -d; if (d > 0.06) under_menu = 0
    }
    exit !(plain || under_menu)
  }' || fail "$what: frame colours $got, picture colours $want" >&2
  echo "$got"
}
# Right of the menu's column, and above its disclaimer.
sky=$(compare_region sky 0.45 0.04 0.9 0.16) || exit 1
dirt=$(compare_region dirt 0.1 0.8 0.9 0.88) || exit 1
# Not one flat colour: the sky is blue and the dirt is brown (by half as
# much under the menu's backdrop).
awk -v s="$sky" -v d="$dirt" 'BEGIN { split(s, a, " "); split(d, b, " ");
  exit !(a[3] > a[1] + 0.1 && b[1] > b[3] + 0.1) }' || fail "sky $sky and dirt $dirt are not told apart"
# The build string at the bottom right is drawn in light grey over the
# dark dirt: the generated font loaded.
light=$(identify -format '%[fx:maxima.b]\n' "frame.png[$((fw / 3))x$((fh / 32))+$((fw - fw / 3))+$((fh - fh / 32))]")
awk -v l="$light" 'BEGIN { exit !(l > 0.6) }' || fail "no build string at the bottom right (brightest blue $light)"
exit 0
