#!/usr/bin/env bash
# bkdata check reads a bike setup under "setups/" through the game's
# reader: a good one gives a summary; a bad line is named with the file,
# line and reason, and the check exits 1.
set -u
exe=$1
. "$(dirname "$0")/scratch_home.sh"
mkdir -p "$dir/setups"
printf 'bike=kx250f\nstability=50\n\nleveling=33\nfrobnicate=1\n' >"$dir/setups/fast"
out=$("$exe" check "$dir/setups/fast") || { echo "good setup refused: $out"; fail=1; }
for want in 'unknown key "frobnicate", skipped' 'bike setup, bike kx250f(2008), stability 50'; do
  case $out in *"$want"*) ;; *) echo "good setup: missing '$want' in: $out"; fail=1 ;; esac
done
printf 'leveling=33\nroll_damping=inf\n' >"$dir/setups/bad"
out=$("$exe" check "$dir/setups/bad")
rc=$?
[ "$rc" = 1 ] || { echo "bad setup: exit code $rc, want 1"; fail=1; }
case $out in
  *"setup $dir/setups/bad line 2: not a finite number, skipped"*) ;;
  *) echo "bad setup: no reason given: $out"; fail=1 ;;
esac
exit $fail
