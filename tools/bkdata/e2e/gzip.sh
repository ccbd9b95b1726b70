#!/usr/bin/env bash
# bkdata check reads a gzip file through the game's stream and checks the
# member's trailer: a good file passes, a file with one flipped data byte is
# refused as corrupt, a truncated one is refused.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
problem() { echo "$*"; fail=1; }

# One stored deflate block, so a flipped byte inflates without complaint
# and only the trailer can tell: gzip's own header and trailer around it.
yes "stored line" | head -c 1000 >"$dir/plain"
gzip -n -c "$dir/plain" >"$dir/packed.gz"
{
  head -c 10 "$dir/packed.gz"
  printf '\001\350\003\027\374'  # last block, stored, LEN 1000, NLEN
  cat "$dir/plain"
  tail -c 8 "$dir/packed.gz"
} >"$dir/good.gz"
cp "$dir/good.gz" "$dir/flipped.gz"
printf 'X' | dd of="$dir/flipped.gz" bs=1 seek=515 conv=notrunc 2>/dev/null
head -c $(($(wc -c <"$dir/good.gz") - 12)) "$dir/good.gz" >"$dir/truncated.gz"

out=$("$exe" check "$dir/good.gz") || problem "good file refused: $out"
[ "$out" = "$dir/good.gz: gzip, 1000 plain bytes" ] || problem "good file: '$out'"

out=$("$exe" check "$dir/flipped.gz")
[ $? = 1 ] || problem "flipped byte passed: $out"
[ "$out" = "$dir/flipped.gz: Corrupt gzip data in '$dir/flipped.gz'" ] || problem "flipped byte: '$out'"

out=$("$exe" check "$dir/truncated.gz")
[ $? = 1 ] || problem "truncated file passed: $out"
echo "$out" | grep -q "^$dir/truncated.gz: " || problem "truncated: '$out'"
exit $fail
