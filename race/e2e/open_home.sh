#!/usr/bin/env bash
# "brakkan --open-home" opens the per-user folder in the desktop's file
# manager (xdg-open) and ends: no game data needed, no window, exit code 0.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

fail() { echo "$*"; cat x.log 2>/dev/null; exit 1; }

# An xdg-open that notes what it was asked to open.
mkdir bin empty
cat >bin/xdg-open <<'SCRIPT'
#!/bin/sh
printf '%s\n' "$@" >>"$HOME/opened.txt"
SCRIPT
chmod +x bin/xdg-open

BK_HOME=$dir/empty PATH=$dir/bin:$PATH PAVO_LOGFILE=">x.log" timeout "$hang_seconds" "$exe" --open-home </dev/null
rc=$?
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
[ "$(cat opened.txt 2>/dev/null)" = "$dir/xdg/Brakkan" ] || fail "opened '$(cat opened.txt 2>/dev/null)'"
[ -d "$dir/xdg/Brakkan" ] || fail "the per-user folder was not created"
grep -q 'Brakkan version\|Creating window' x.log 2>/dev/null && fail "the game started"
exit 0
