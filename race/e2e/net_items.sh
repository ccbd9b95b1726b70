#!/usr/bin/env bash
# brakkan --connect races on our loopback server (net_peer.py), which then
# sends reliable messages out of order: chat, a knockout command, a timing
# correction, a terrain edit, a ping and a version request. The client must
# acknowledge every one, show the chat, answer the ping and the version
# request, and exit 0 on SIGTERM.
set -u
exe=$1
data=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
enter_temp_home
write_windowed_config

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; kill "$peer" 2>/dev/null; tail -n 30 "$log" 2>/dev/null; cat err.txt report.txt 2>/dev/null | tail -n 30; exit 1; }

bkdata=$(dirname "$exe")/bkdata
hash=$("$bkdata" check "$data/quarrybend" 2>/dev/null | sed -n 's/.*hash \([0-9a-f]\{40\}\).*/\1/p')
[ -n "$hash" ] || fail "bkdata check gave no track hash"

python3 "$here/net_peer.py" port.txt "$hash" report.txt "$run_hang_seconds" items &
peer=$!
# A failed run ends the peer too: it would hold the test's output open.
trap 'kill "$peer" 2>/dev/null; stop_own_display; rm -rf "$dir"' EXIT
wait_pid=$peer wait_file port.txt
[ -s port.txt ] || fail "the peer did not start"
port=$(cat port.txt)

"$exe" --connect "127.0.0.1:$port" --nosound 2>err.txt &
pid=$!
# Every message acknowledged, the ping and the version request answered
# (the answer waits for a wall-clock second that is a multiple of 3).
done_yet() {
  for seq in 0 1 2 3 4 5; do grep -qx "ack $seq" report.txt 2>/dev/null || return 1; done
  grep -q '^reliable [0-9]* 31 ' report.txt && grep -q '^reliable [0-9]* 30 version 0 41' report.txt
}
wait_pid=$pid wait_until done_yet
done_yet || { kill -KILL "$pid"; fail "the client did not acknowledge and answer every message"; }
snap frame.png 2>/dev/null
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
wait "$peer"
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
grep -qx 'disconnect 0 4321' report.txt || fail "no disconnect packet"
grep -q 'Welcome to the loopback race' "$log" || fail "the chat line is not in the console"
grep -q '^reliable [0-9]* 31 Roger that!  Still alive!$' report.txt || fail "the ping's answer is not item 31"
[ -n "${BK_E2E_KEEP:-}" ] && cp frame.png report.txt "$BK_E2E_KEEP"/ 2>/dev/null
echo "acknowledged, answered and disconnected"
