#!/usr/bin/env bash
# Bike setups across runs of the real game, typed at its console. The first
# run writes the setup as it starts ("defaults"), reads a hand-made one and
# writes that ("e2e"); the config written at its end keeps the setup. The
# second run writes the setup the config gave it ("fromconfig"), is refused
# a malformed file (the values stay, the log names file, line and reason),
# then reads the defaults and "e2e" back in turn: every file written holds
# the same values as "e2e".
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/console_lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
fail() { echo "$*"; tail -n 40 "$user/lastlog.txt" 2>/dev/null; cat err.txt 2>/dev/null; exit 1; }
mkdir -p "$user/setups"
printf 'video_mode=Windowed\nxres=640\nyres=480\n' >"$user/config"
printf 'stability=20\nleveling=33\nname=Seed Rider\n' >"$user/setups/seed"
printf 'leveling=40\nroll_damping=inf\n' >"$user/setups/bad"

console_session '/writesetup defaults' '/readsetup seed' '/writesetup e2e'
[ "$rc" = 0 ] || fail "first run: exit code $rc, expected 0"
log_in_order "Setup written" "Setup updated" "Setup written" || fail "first run: the console lines are not in order"
[ -s "$user/setups/e2e" ] || fail "setups/e2e not written"
cmp -s "$user/setups/defaults" "$user/setups/e2e" && fail "the hand-made setup changed nothing"
grep -qx 'leveling=33.000000' "$user/setups/e2e" || fail "setups/e2e lacks the leveling read: $(cat "$user/setups/e2e")"
grep -qx 'leveling=33.000000' "$user/config" || fail "the config does not keep the setup"

console_session '/writesetup fromconfig' '/readsetup bad' '/writesetup afterbad' '/readsetup defaults' \
  '/readsetup e2e' '/writesetup readback'
[ "$rc" = 0 ] || fail "second run: exit code $rc, expected 0"
# The bad file's good line is taken and its bad one named and skipped.
log_in_order "Setup written" "setup setups/bad line 2: not a finite number, skipped" "Setup updated" "Setup written" \
  "Setup updated" "Setup updated" "Setup written" || fail "second run: the console lines are not in order"
grep -qx 'leveling=40.000000' "$user/setups/afterbad" || fail "the bad setup's good line was not taken"
grep -x 'roll_damping=.*' "$user/setups/afterbad" | cmp -s - <(grep -x 'roll_damping=.*' "$user/setups/fromconfig") ||
  fail "the bad setup's bad line changed its item"
for name in fromconfig readback; do
  diff "$user/setups/e2e" "$user/setups/$name" >/dev/null || {
    diff "$user/setups/e2e" "$user/setups/$name"
    fail "setups/$name differs from setups/e2e"
  }
done
exit 0
