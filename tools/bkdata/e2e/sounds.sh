#!/usr/bin/env bash
# bkdata sounds makes the same bytes every run, every file it makes passes
# check, and check refuses malformed definitions, tables and samples with
# the reader's reason and exit code 1.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
problem() { echo "$*"; fail=1; }

"$exe" sounds "$dir/one" || problem "sounds failed"
"$exe" sounds "$dir/two" || problem "second sounds failed"
diff -r "$dir/one" "$dir/two" >/dev/null || problem "sounds is not deterministic"
for f in default50.braap default125.braap default250.braap default250f.braap default450f.braap \
         sounds/two_stroke.soundtable sounds/four_stroke.soundtable quarrybend/crowd.raw quarrybend/horn.raw; do
  [ -f "$dir/one/$f" ] || problem "missing $f"
done
files=$(cd "$dir/one" && find . -type f | sort)
out=$(cd "$dir/one" && "$exe" check $files) || problem "check refused generated files: $out"
[ "$(echo "$out" | grep -c ': raw sound, ')" -ge 26 ] || problem "check raw: '$out'"
echo "$out" | grep -q 'sounds/two_stroke.soundtable: sound table, 6 rows' || problem "check table: '$out'"
echo "$out" | grep -q 'default450f.braap: engine sound, table @sounds/four_stroke.soundtable' || problem "check braap: '$out'"
# Many engines add up in one mix: every sample and every period a firing
# plays averages zero (within 0.5% of full scale).
offsets=$(echo "$out" | awk '/: raw sound, / && ($NF > 0.005 || $NF < -0.005) ||
                             /: sound table, / && $NF > 0.005')
[ -z "$offsets" ] || problem "off-centre sounds: $offsets"

# Malformed fixtures: each must give its reason and exit 1.
bad=$dir/bad
mkdir -p "$bad/sounds"
cp "$dir/one/sounds/two_stroke_2000_0.raw" "$bad/sounds/ok.raw"
: >"$bad/sounds/empty.raw"
printf 'x' >"$bad/sounds/one.raw"
printf 'SOUNDTABLE 0 2\n' >"$bad/sounds/zero.soundtable"
printf 'SOUNDTABLE 100000 1\n' >"$bad/sounds/huge.soundtable"
printf 'SOUNDTABLE 2 1\n3000 1000\n0\n' >"$bad/sounds/falling.soundtable"
printf 'SOUNDTABLE 1 1\n1000\n0\n2 x -1 1 @sounds/ok.raw\n' >"$bad/sounds/remap.soundtable"
printf 'SOUNDTABLE 1 1\n1000\n0\n-1 0 @sounds/ok.raw\n' >"$bad/sounds/periods.soundtable"
printf 'SOUNDTABLE 1 1\n1000\n0\n-1 1 @sounds/empty.raw\n' >"$bad/sounds/emptycell.soundtable"
printf 'minrpm nan\n' >"$bad/nan.braap"
printf 'soundtable @sounds/zero.soundtable\n' >"$bad/table.braap"
check_bad() {
  local file=$1 reason=$2
  local got
  got=$("$exe" check "$bad/$file")
  local rc=$?
  [ "$rc" = 1 ] || problem "check $file: exit code $rc, want 1"
  echo "$got" | grep -qF -- "$reason" || problem "check $file: '$got' lacks '$reason'"
}
check_bad sounds/empty.raw "refused"
check_bad sounds/one.raw "refused"
check_bad sounds/zero.soundtable "each side must be 1..256"
check_bad sounds/huge.soundtable "each side must be 1..256"
check_bad sounds/falling.soundtable "row values must rise strictly"
check_bad sounds/remap.soundtable "(0, 0) Bad remap entry"
check_bad sounds/periods.soundtable "period count must be 1 or more"
check_bad sounds/emptycell.soundtable "(0, 0) Error reading '@sounds/empty.raw'"
check_bad nan.braap "nan.braap:1: a number is not finite"
check_bad table.braap "Error reading '@sounds/zero.soundtable'"
exit $fail
