#!/usr/bin/env bash
# bkdata image writes every image format the game reads; bkdata check loads
# each through the game's reader and prints its size and kind, and refuses
# malformed images with the reader's reason and exit code 1.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
problem() { echo "$*"; fail=1; }

# format, file name, the summary check must print
while read -r format file want; do
  "$exe" image "$format" 5 3 "$dir/$file" || { problem "image $format failed"; continue; }
  got=$("$exe" check "$dir/$file") || problem "check refused $file: $got"
  [ "$got" = "$dir/$file: ${want//_/ }" ] || problem "check $file: got '$got', want '${want//_/ }'"
done <<'LIST'
png a.png PNG_5_x_3,_RGB
png-rgba b.png PNG_5_x_3,_RGBA
png-grey c.png PNG_5_x_3,_RGB
png16 d.png PNG_5_x_3,_RGB
ppm e.ppm P6_5_x_3,_RGB
ppm-text f.ppm P3_5_x_3,_RGB
pgm g.pgm P5_5_x_3,_grey
pgm-text h.pgm P2_5_x_3,_grey
j6 i.j6 J6_5_x_3,_RGB
j7 j.j7 J7_5_x_3,_RGBA
LIST

# Same pattern, same bytes.
"$exe" image j7 5 3 "$dir/again.j7"
cmp -s "$dir/j.j7" "$dir/again.j7" || problem "image is not deterministic"

# A gzip variant is read as the game reads it.
gzip -n -c "$dir/e.ppm" >"$dir/zipped.ppm.gz"
got=$("$exe" check "$dir/zipped.ppm.gz") || problem "check refused a gzip image: $got"
[ "$got" = "$dir/zipped.ppm.gz: P6 5 x 3, RGB" ] || problem "check gzip image: '$got'"

# Malformed images: each refused with its reason.
printf 'P6\n2 2\n0\n' >"$dir/maximum.ppm"
printf 'P5\n0 4\n255\n' >"$dir/zero.pgm"
printf 'J6\n99999 1\n' >"$dir/huge.j6"
printf 'P6\n2 2\n255\n\001\002' >"$dir/short.ppm"
printf 'GIF89a' >"$dir/magic.ppm"
head -c 60 "$dir/a.png" >"$dir/cut.png"
while read -r file reason; do
  out=$("$exe" check "$dir/$file")
  rc=$?
  [ "$rc" = 1 ] || problem "check $file: exit code $rc, want 1"
  case "$out" in
    "$dir/$file: $reason"*) ;;
    *) problem "check $file: got '$out', want the reason '$reason'" ;;
  esac
done <<'LIST'
maximum.ppm maximum value 0 is outside 1..255
zero.pgm size 0 x 4 is outside 1..16384
huge.j6 size 99999 x 1 is outside 1..16384
short.ppm the file is truncated
magic.ppm not a PNG, PPM, PGM, J6 or J7 file
cut.png the file is truncated
LIST

# One bad file among good ones fails the run but every file is reported.
out=$("$exe" check "$dir/a.png" "$dir/zero.pgm" "$dir/j.j7")
[ $? = 1 ] || problem "a refused file did not fail the run"
[ "$(echo "$out" | wc -l)" = 3 ] || problem "not every file reported: '$out'"

"$exe" image bmp 2 2 "$dir/x.bmp" 2>/dev/null
[ $? = 2 ] || problem "unknown format: want exit code 2"
"$exe" image png 0 2 "$dir/x.png" 2>/dev/null
[ $? = 2 ] || problem "zero width: want exit code 2"
exit $fail
