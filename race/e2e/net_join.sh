#!/usr/bin/env bash
# brakkan --connect joins our own loopback race server (net_peer.py), races
# on the sample track sending its state every 4th tick, and on SIGTERM sends
# its disconnect and exits 0.
set -u
exe=$1
data=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
enter_temp_home
write_windowed_config

user=$dir/xdg/Brakkan
log=$user/lastlog.txt
fail() { echo "$*"; tail -n 30 "$log" 2>/dev/null; cat err.txt report.txt 2>/dev/null | tail -n 20; exit 1; }

bkdata=$(dirname "$exe")/bkdata
hash=$("$bkdata" check "$data/quarrybend" 2>/dev/null | sed -n 's/.*hash \([0-9a-f]\{40\}\).*/\1/p')
[ -n "$hash" ] || fail "bkdata check gave no track hash"

python3 "$here/net_peer.py" port.txt "$hash" report.txt "$run_hang_seconds" &
peer=$!
# A failed run ends the peer too: it would hold the test's output open.
trap 'kill "$peer" 2>/dev/null; stop_own_display; rm -rf "$dir"' EXIT
wait_pid=$peer wait_file port.txt
[ -s port.txt ] || fail "the peer did not start"
port=$(cat port.txt)

"$exe" --connect "127.0.0.1:$port" --nosound 2>err.txt &
pid=$!
# Two hundred state packets: well into the race.
states_reach() { [ "$(grep -c '^state' report.txt 2>/dev/null)" -ge "$1" ]; }
wait_pid=$pid wait_until states_reach 200
[ "$(grep -c '^state' report.txt)" -ge 200 ] || { kill -KILL "$pid"; fail "fewer than 200 state packets reached the peer"; }
kill -TERM "$pid"
wait_or_kill "$pid" "$log"
rc=$?
wait "$peer"
[ "$rc" = 0 ] || fail "exit code $rc, expected 0"
grep -qx 'disconnect 0 4321' report.txt || fail "no disconnect packet with slot 0 and key 4321"
python3 - <<'PY' || fail "the state packets are not 60 bytes every 4th tick"
import sys
rows = [l.split() for l in open("report.txt") if l.startswith("state")]
ticks = [int(r[1]) for r in rows]
ok = all(r[3] == "60" and int(r[2]) >= 100 for r in rows)
ok = ok and all(t % 4 == 0 for t in ticks)
steps = [b - a for a, b in zip(ticks, ticks[1:])]
# 4 ticks apart: 32 a second of race time.
ok = ok and steps.count(4) >= len(steps) * 0.95
span = float(rows[-1][4]) - float(rows[0][4])
print("%d state packets, %.1f a second of wall time" % (len(rows), (len(rows) - 1) / span if span > 0 else 0))
sys.exit(0 if ok else 1)
PY
for line in 'Contacting server' 'Sending client info' 'Sending track acknowledgment' 'Disconnecting'; do
  grep -q "$line" "$log" || fail "the log lacks '$line'"
done
echo "joined, raced and disconnected"
