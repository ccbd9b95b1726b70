#!/usr/bin/env bash
# Without the game data (an empty data folder, or an archive that is not the
# one the game was built with) brakkan says "Can't find game data" on
# standard error and exits 1 at once, without a window and without waiting
# for anyone to answer a message box.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

fail() { echo "$*"; cat err.txt 2>/dev/null; exit 1; }

check_refused() {  # what
  timeout "$hang_seconds" "$exe" </dev/null 2>err.txt >/dev/null
  local rc=$?
  [ "$rc" = 1 ] || fail "$1: exit code $rc, expected 1"
  grep -q "Problem starting Brakkan" err.txt || fail "$1: no title on stderr"
  grep -q "Can't find game data" err.txt || fail "$1: no message on stderr"
  grep -q "Creating window" xdg/Brakkan/lastlog.txt && fail "$1: a window was opened"
  return 0
}

mkdir empty
export BK_HOME=$dir/empty
unset BK_ERROR_BOX
check_refused "empty data folder"

mkdir changed
cp "$data/zzzz.saf" changed/zzzz.saf
printf 'X' | dd of=changed/zzzz.saf bs=1 seek=100 conv=notrunc status=none
export BK_HOME=$dir/changed
check_refused "changed archive"
exit 0
