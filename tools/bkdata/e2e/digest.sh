#!/usr/bin/env bash
# bkdata digest prints the RIPEMD-160 of a file (published test vectors),
# refuses a missing file with exit code 1 and bad usage with 2.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
check() {  # name, expected output
  got=$("$exe" digest "$dir/$1")
  [ "$got" = "$2" ] || { echo "digest of $1: got '$got', want '$2'"; fail=1; }
}
printf '' >"$dir/empty"
printf 'abc' >"$dir/abc"
printf '12345678901234567890123456789012345678901234567890123456789012345678901234567890' >"$dir/digits"
head -c 1000000 /dev/zero | tr '\0' 'a' >"$dir/million"
check empty 9c1185a5c5e9fc54612808977ee8f548b2258d31
check abc 8eb208f7e05d987a9b044a8e98c6b087f15a0bfc
check digits 9b752e45573d4b39f4dbd3323cab82bf63326bfb
check million 52783243c1697bdbe16d37f97f68f08325dc1528

"$exe" digest "$dir/missing" >/dev/null 2>&1
rc=$?
[ "$rc" = 1 ] || { echo "missing file: exit code $rc, want 1"; fail=1; }
"$exe" frobnicate >/dev/null 2>&1
rc=$?
[ "$rc" = 2 ] || { echo "unknown subcommand: exit code $rc, want 2"; fail=1; }
"$exe" digest >/dev/null 2>&1
rc=$?
[ "$rc" = 2 ] || { echo "digest without a file: exit code $rc, want 2"; fail=1; }
exit $fail
