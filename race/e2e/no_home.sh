#!/usr/bin/env bash
# With no HOME, no XDG_DATA_HOME and an account the password database does
# not know, brakkan has no per-user folder: it says so on standard error,
# runs and ends normally, and writes nothing into the game data folder (no
# config, no lastlog.txt), even where that folder is writable. Running as
# an unknown account needs root; elsewhere the script says so and passes.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
if [ "$(id -u)" != 0 ]; then
  echo "not root: can't run as an account without a home; skipped"
  exit 0
fi
uid=54321
while getent passwd "$uid" >/dev/null; do uid=$((uid + 1)); done
enter_temp_home
chmod 755 "$dir"
fail() { echo "$*"; cat "$dir/err.txt" 2>/dev/null; exit 1; }

# A data root the account may write into: the old fallback would put the
# per-user files there.
root=$dir/data
data_root_with_track_copy "$root"
chown -R "$uid" "$root"
touch "$dir/before"

env -i DISPLAY="$DISPLAY" BK_HOME="$root" BK_ERROR_BOX=0 SDL_AUDIODRIVER=dummy \
  ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} \
  ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
  setpriv --reuid "$uid" --regid "$uid" --clear-groups "$exe" 2>"$dir/err.txt" &
pid=$!
wait_for_window "$pid" || fail "no window"
kill -s TERM "$pid"
wait_or_kill "$pid"
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
grep -q "no per-user folder" "$dir/err.txt" || fail "no word of the missing per-user folder on standard error"
written=$(find "$root" -newer "$dir/before" ! -type d | head -n 5)
[ -z "$written" ] || fail "written into the game data folder: $written"
exit 0
