#!/usr/bin/env bash
# brakkan reads "config" at start-up, says which lines it refused, and at
# shut-down writes the settings back in one step, the file it read kept
# as "config~"; a second run leaves the file as it was.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; cat "$log" 2>/dev/null; exit 1; }

mkdir -p "$user"
printf 'video_mode=Windowed\nfov=95\nfov=nan\nskill=Expert\nthrottle_key=(k)q\nfrobnicate=7\nbike=kx250f\nstability=50\nleveling=33\nroll_damping=nan\nnumber=42\n' >"$user/config"
cp "$user/config" hand-made

run_until_signal TERM
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
grep -q 'config line 6: unknown key "frobnicate"' "$log" || fail "unknown key not named"
grep -q 'config line 3: fov=nan: not a finite number' "$log" || fail "bad line not named"
grep -q 'Writing config files' "$log" || fail "config not written"
grep -q 'config line 10: roll_damping=nan: not a finite number' "$log" || fail "bad setup line not named"
for line in 'video_mode=Windowed' 'fov=95.000000' 'skill=Expert' 'throttle_key=(k)q' 'bike=kx250f(2008)' \
            'stability=50.000000' 'leveling=33.000000' 'roll_damping=65.000000' 'restricted_lock=7.500000' 'number=42'; do
  grep -qxF "$line" "$user/config" || fail "config lacks '$line'"
done
grep -q frobnicate "$user/config" && fail "unknown key written back"
cmp -s "$user/config~" hand-made || fail "config~ is not the hand-made file"

cp "$user/config" first
run_until_signal TERM
rc=$?
[ "$rc" = 0 ] || fail "second run: exit code $rc"
cmp -s "$user/config" first || fail "second run changed config"
cmp -s "$user/config~" first || fail "second run: config~ is not the first run's config"
[ -z "$(ls "$user" | grep '\.new$')" ] || fail "temporary files left behind"
exit 0
