#!/usr/bin/env bash
# bkdata pack makes the same archive from the same tree, bkdata list shows
# its members, and both list and check refuse malformed archives with a
# message and exit code 1.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
problem() { echo "$*"; fail=1; }

mkdir -p "$dir/tree/tracks/quarry" "$dir/tree/fonts"
printf 'hello' >"$dir/tree/b.txt"
printf 'A' >"$dir/tree/a.txt"
printf 'desc\n' >"$dir/tree/tracks/quarry/desc"
: >"$dir/tree/fonts/empty"
printf 'compressed data\n' | gzip -n >"$dir/tree/tracks/quarry/terrain.hf.gz"

"$exe" pack "$dir/tree" "$dir/one.saf" || problem "pack failed"
touch -d '2001-01-01' "$dir/tree/a.txt"
"$exe" pack "$dir/tree" "$dir/two.saf" || problem "second pack failed"
cmp -s "$dir/one.saf" "$dir/two.saf" || problem "pack is not deterministic"

gzsize=$(stat -c %s "$dir/tree/tracks/quarry/terrain.hf.gz")
want="1 a.txt
5 b.txt
0 fonts/empty
5 tracks/quarry/desc
$gzsize tracks/quarry/terrain.hf.gz"
got=$("$exe" list "$dir/one.saf")
[ "$got" = "$want" ] || problem "list: got '$got', want '$want'"
[ "$(head -n 1 "$dir/one.saf")" = '1 a.txt' ] || problem "archive does not start with its first member line"

out=$("$exe" check "$dir/one.saf" "$dir/tree/tracks/quarry/terrain.hf.gz") || problem "check refused good files: $out"
echo "$out" | grep -q 'archive, 5 members, ' || problem "check archive: '$out'"
echo "$out" | grep -q 'terrain.hf.gz: gzip, 16 plain bytes' || problem "check gzip: '$out'"

# Malformed archives.
printf '5 one\n12345' >"$dir/truncated.saf"
printf -- '-5 neg\n-\n12345' >"$dir/negative.saf"
printf '3 fine\n9 past\n-\nabc12345' >"$dir/past_end.saf"
{ printf '1 '; head -c 1030 /dev/zero | tr '\0' 'l'; printf '\n-\nx'; } >"$dir/long_line.saf"
for bad in truncated negative past_end long_line; do
  err=$("$exe" list "$dir/$bad.saf" 2>&1 >/dev/null)
  rc=$?
  [ "$rc" = 1 ] || problem "list $bad: exit code $rc, want 1"
  echo "$err" | grep -q "Archive $dir/$bad.saf" || problem "list $bad: message '$err'"
  "$exe" check "$dir/$bad.saf" >/dev/null
  rc=$?
  [ "$rc" = 1 ] || problem "check $bad: exit code $rc, want 1"
done
"$exe" list "$dir/past_end.saf" 2>&1 | grep -q "member 'past' runs past the end" || problem "past_end reason missing"

# A damaged compressed member is caught by check.
mkdir -p "$dir/broken"
head -c 20 "$dir/tree/tracks/quarry/terrain.hf.gz" >"$dir/broken/x.gz"
"$exe" pack "$dir/broken" "$dir/broken.saf" || problem "pack broken failed"
out=$("$exe" check "$dir/broken.saf")
[ $? = 1 ] || problem "check of a truncated gzip member passed: $out"
echo "$out" | grep -q "member 'x.gz'" || problem "check broken: '$out'"

"$exe" pack "$dir/missing" "$dir/x.saf" 2>/dev/null && problem "pack of a missing folder succeeded"
"$exe" list >/dev/null 2>&1
[ $? = 2 ] || problem "list without an archive: want exit code 2"
exit $fail
