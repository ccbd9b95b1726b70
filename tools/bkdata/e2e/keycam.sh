#!/usr/bin/env bash
# bkdata check reads a camera keyframe file under "keycam/" through the
# game's reader: a good one gives its key count and tick range; a malformed
# one is refused at its first bad line, with exit code 1.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export HOME=$dir XDG_DATA_HOME=$dir/xdg
fail=0
mkdir -p "$dir/keycam"
printf '1.0000 2.0000 3.0000 0.0000 0.7071 -0.0000 0.7071 60.00 640\n0 0 0 0 0 0 1 70 128\n' >"$dir/keycam/k1"
out=$("$exe" check "$dir/keycam/k1") || { echo "good keys refused: $out"; fail=1; }
# Keys are read in the file's order.
case $out in *"camera keys, 2 keys, ticks 640 to 128"*) ;; *) echo "good keys: $out"; fail=1 ;; esac
printf '0 0 0 0 0 0 1 70 128\n0 0 0 0 0 0 1 70 200\n0 0 0 0 0 1 70\n' >"$dir/keycam/bad"
out=$("$exe" check "$dir/keycam/bad")
rc=$?
[ "$rc" = 1 ] || { echo "bad keys: exit code $rc, want 1"; fail=1; }
case $out in *"line 3 has fewer than nine values"*) ;; *) echo "bad keys: no reason given: $out"; fail=1 ;; esac
exit $fail
