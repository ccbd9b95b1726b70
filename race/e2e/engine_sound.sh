#!/usr/bin/env bash
# The engine note reaches the recorded sound: a race recorded for 20 s of
# sound differs from silence (128) in every second, at a pitch within the
# bikes' firing range; with the volume set to 0 it is silent throughout.
set -u
exe=$1
data=$2
. "$(dirname "$0")/lib.sh"
enter_temp_home

log=$dir/xdg/Brakkan/lastlog.txt
fail() { echo "$*"; tail -n 30 "$log" 2>/dev/null; cat err*.txt 2>/dev/null; exit 1; }
block=1380  # stereo 8-bit bytes a tick at 88320 Hz

wait_for_bytes() {
  wait_pid=$1 wait_until file_has "$2" "$3"
}

# The two recordings are made side by side, each with a user folder and an
# X server of its own (neither window takes the focus from the other).
record() {  # $1 file, $2 user folder, $3 display, $4 config text
  local log=$2/Brakkan/lastlog.txt
  mkdir -p "$2/Brakkan"
  printf "video_mode=Windowed\nxres=160\nyres=120\n$4" >"$2/Brakkan/config"
  DISPLAY=$3 XDG_DATA_HOME=$2 \
    "$exe" --track quarrybend --lock-fps 32 --record-audio "$1" --hidden-hud >/dev/null 2>"err-$1.txt" &
  local pid=$!
  wait_for_bytes "$pid" "$1" $((20 * 128 * block)) || fail "$1 never held 20 s"
  kill -TERM "$pid"
  wait_or_kill "$pid" "$log"
  local rc=$?
  [ "$rc" = 0 ] || fail "$1: exit code $rc, expected 0"
}
second_display
record a.raw "$dir/xdg" "$DISPLAY" "" &
a_run=$!
record b.raw "$dir/xdg-silent" "$display2" "volume=0\n" &
b_run=$!
wait "$a_run" || exit 1
wait "$b_run" || exit 1

python3 - a.raw <<'EOF' || fail "a.raw is not an engine note"
import sys, math
data = open(sys.argv[1], "rb").read()
rate = 88320
left = data[0::2]
for s in range(20):
    second = left[s * rate:(s + 1) * rate]
    if all(b == 128 for b in second):
        print("second %d is silent" % s); sys.exit(1)
# Dominant repeat of the last second (decimated to 11040 Hz): autocorrelation.
x = [sum(left[i:i + 8]) / 8.0 - 128 for i in range(19 * rate, 20 * rate, 8)]
n = len(x)
best, r = 0, {}
for lag in range(int(11040 / 400), int(11040 / 8) + 2):
    a = sum(x[i] * x[i + lag] for i in range(0, n - lag, 2))
    e0 = sum(x[i] * x[i] for i in range(0, n - lag, 2))
    e1 = sum(x[i + lag] * x[i + lag] for i in range(0, n - lag, 2))
    r[lag] = a / math.sqrt(e0 * e1) if e0 > 0 and e1 > 0 else 0
    best = max(best, r[lag])
lags = sorted(r)
f = 0
for lag in lags[1:-1]:
    if r[lag] >= 0.85 * best and r[lag] >= r[lag - 1] and r[lag] >= r[lag + 1]:
        f = 11040.0 / lag
        break
# The bikes fire from minrpm (1200 rpm, a four-stroke: 10 Hz) to the rev
# limit (about 14000 rpm, a two-stroke: 233 Hz).
if not (9 <= f <= 240):
    print("fundamental %.1f Hz outside the firing range" % f); sys.exit(1)
print("fundamental %.1f Hz" % f)
EOF

python3 - b.raw <<'EOF' || fail "b.raw is not silent"
import sys
data = open(sys.argv[1], "rb").read()
bad = sum(1 for b in data if b != 128)
if bad:
    print("%d bytes differ from 128" % bad); sys.exit(1)
EOF
exit 0
