#!/usr/bin/env bash
# The Multiplayer page in the real game against our own loopback race
# server (net_peer.py): an empty server name is refused, a typed one is
# joined, the page then offers "Disconnect" with the ping table, a restart
# request reaches the server, and a disconnect from the open page keeps
# asking until the server answers. The name lands in the config's history.
# With BK_CAPTURE set, frames of the page are saved as $BK_CAPTURE-*.png.
set -u
exe=$1
data=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
enter_temp_home

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; tail -n 40 "$log" 2>/dev/null; cat err.txt report.txt 2>/dev/null | tail -n 20; exit 1; }
mkdir -p "$user"
printf 'video_mode=Windowed\nxres=640\nyres=480\n' >"$user/config"

capture() { [ -n "${BK_CAPTURE:-}" ] && snap "$BK_CAPTURE-$1.png"; }
keys() { press "$@"; }
repeat() {
  local n=$1
  shift
  for _ in $(seq "$n"); do keys "$@"; done
}
# Waits for the pattern $1 in file $3 (only a hang ends the wait; $2, once
# its deadline in tenths of a second, stays for the calls written for it).
wait_line() { wait_pid=${pid:-} wait_until grep -q "$1" "$3" 2>/dev/null; }
# From a closed menu: Escape opens the main menu, "Multiplayer" is its fifth item.
open_page() {
  keys Escape
  repeat 4 Down
  keys Return
}

bkdata=$(dirname "$exe")/bkdata
hash=$("$bkdata" check "$data/quarrybend" 2>/dev/null | sed -n 's/.*hash \([0-9a-f]\{40\}\).*/\1/p')
[ -n "$hash" ] || fail "bkdata check gave no track hash"
python3 "$here/net_peer.py" port.txt "$hash" report.txt "$run_hang_seconds" slow_leave &
peer=$!
# A failed run ends the peer too: it would hold the test's output open.
trap 'kill "$peer" 2>/dev/null; stop_own_display; rm -rf "$dir"' EXIT
wait_pid=$peer wait_file port.txt
[ -s port.txt ] || fail "the peer did not start"
port=$(cat port.txt)

"$exe" --track quarrybend --nosound 2>err.txt &
pid=$!
wait_for_window "$pid" || fail "no window"
wait_line 'Max loading delay was' 1200 "$log" || fail "the first race never loaded"
# The race's frames run: the menus take keys.
wait_frames 5
win=$(window_of "$pid")
xdotool mousemove --window "$win" 10 10 click 1 2>/dev/null
xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowactivate --sync "$win" 2>/dev/null

# The main menu is open over the first race: "Multiplayer", the Server
# field emptied of its default, then Connect.
repeat 4 Down
keys Return
repeat 3 Down
repeat 10 Right
repeat 10 BackSpace
keys Up Up
capture empty
keys Return
wait_line "Can't resolve address" 50 "$log" || fail "an empty server name did not log \"Can't resolve address\""
grep -q '^hello' report.txt && fail "something reached the peer for an empty server name"

# The typed name, then Connect.
open_page
repeat 3 Down
xdotool type --delay 50 "127.0.0.1:$port"
wait_frames
keys Up Up
capture typed
keys Return
wait_line '^hello' 100 report.txt || fail "no hello reached the peer"
grep -qx 'hello 13 41' report.txt || fail "the hello is not 13 bytes of version 41: $(grep '^hello' report.txt)"
states_reach() { [ "$(grep -c '^state' report.txt 2>/dev/null)" -ge "$1" ]; }
wait_pid=$pid wait_until states_reach 64
[ "$(grep -c '^state' report.txt)" -ge 64 ] || fail "the client never raced on the peer's server"

# The page while racing: "Disconnect" and the ping table with slot 0.
open_page
capture online
keys Down Down Return
wait_line '^restart' 50 report.txt || fail "the restart request never reached the peer"
grep -qx 'restart 0 4321 1 13' report.txt || fail "the restart request is not slot 0, key 4321, 1: $(grep '^restart' report.txt)"

# Disconnect with the page left open: the peer lets two go unanswered.
open_page
keys Down Return
wait_line 'Disconnected' 100 "$log" || fail "the client never logged \"Disconnected\""
[ "$(grep -c '^disconnect 0 4321$' report.txt)" -ge 3 ] ||
  fail "the client stopped sending its disconnect before the answer: $(grep -c '^disconnect' report.txt) sent"
capture offline
keys Escape
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
wait "$peer"
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
for want in "server_name=127.0.0.1:$port" "server_name_hist00=127.0.0.1:$port"; do
  grep -qxF "$want" "$user/config" || fail "config lacks $want: $(grep '^server_name' "$user/config")"
done
echo "refused, joined, asked for a restart and disconnected from the page"
