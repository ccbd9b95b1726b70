#!/usr/bin/env python3
"""Loudness, offset and clipping of a sound recording made with
`brakkan --record-audio FILE` (stereo, unsigned 8-bit, 88320 Hz), per 50 ms.

usage: tools/audio_stats.py FILE [--from S] [--to S] [--windows] [--marks FILE]

Prints for the stretch asked for: the DC offset of each channel (mean - 128,
in 8-bit steps), the samples at 0 and at 255, the lowest and highest sample,
and the loudness of the 50 ms windows (dBFS of each window about its own
mean: median, 95th percentile, loudest). --windows prints every window.

--marks names a file of lines "BYTES down" and "BYTES up": the recording's
size when a throttle key went down or up, the first line being the race's
start ("BYTES up"). The summary then compares the level with the key held
(from 0.75 s after it went down to its release) with idle (before the first
press, and from 3 s after the last release, once the engine has settled)."""
import argparse
import math
import sys

RATE = 88320
WINDOW = RATE // 20


def stats(channel):
    n = len(channel)
    mean = sum(channel) / n
    power = max(sum(v * v for v in channel) / n - mean * mean, 0.0)
    return mean - 128, power, min(channel), max(channel)


def dbfs(power):
    return 20 * math.log10(math.sqrt(power) / 128) if power > 0 else -120.0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("file")
    ap.add_argument("--from", dest="start", type=float, default=0)
    ap.add_argument("--to", dest="end", type=float, default=1e9)
    ap.add_argument("--windows", action="store_true")
    ap.add_argument("--marks")
    a = ap.parse_args()
    data = open(a.file, "rb").read()
    first = int(a.start * RATE)
    last = min(len(data) // 2, int(a.end * RATE))
    left, right = data[0::2], data[1::2]
    rows = []
    for w in range(first, last - WINDOW + 1, WINDOW):
        l, r = stats(left[w:w + WINDOW]), stats(right[w:w + WINDOW])
        rows.append((w / RATE, l, r))
        if a.windows:
            print("%7.2f s  L %6.1f dB dc %+5.2f [%3d,%3d]  R %6.1f dB dc %+5.2f [%3d,%3d]" %
                  (w / RATE, dbfs(l[1]), l[0], l[2], l[3], dbfs(r[1]), r[0], r[2], r[3]))
    if not rows:
        sys.exit("%s: no whole 50 ms window from %.2f s to %.2f s" % (a.file, first / RATE, last / RATE))
    L, R = left[first:last], right[first:last]
    print("%s: %.2f s from %.2f s" % (a.file, (last - first) / RATE, first / RATE))
    print("  DC  L %+.3f  R %+.3f" % (sum(L) / len(L) - 128, sum(R) / len(R) - 128))
    print("  at 0: L %d R %d   at 255: L %d R %d" % (L.count(0), R.count(0), L.count(255), R.count(255)))
    print("  lowest %d highest %d" % (min(min(L), min(R)), max(max(L), max(R))))
    loud = sorted(dbfs((l[1] + r[1]) / 2) for _, l, r in rows)
    print("  loudness per 50 ms: median %.1f dBFS, 95th %.1f, loudest %.1f" %
          (loud[len(loud) // 2], loud[int(len(loud) * 0.95)], loud[-1]))
    if a.marks:
        marks = [line.split() for line in open(a.marks) if line.strip()]
        marks = [(int(b) // 2 / RATE, what) for b, what in marks]
        downs = [t for t, what in marks if what == "down"]
        ups = [t for t, what in marks[1:] if what == "up"]
        if not downs or not ups:
            sys.exit("%s: no press and release" % a.marks)
        held = [(d + 0.75, u) for d, u in zip(downs, ups)]
        idle = [(marks[0][0] + 0.5, downs[0]), (ups[-1] + 3, last / RATE)]

        def level(spans):
            p = [(l[1] + r[1]) / 2 for t, l, r in rows if any(x <= t and t + 0.05 <= y for x, y in spans)]
            return (dbfs(sum(p) / len(p)), len(p)) if p else (float("nan"), 0)

        (h, hn), (i, n) = level(held), level(idle)
        print("  throttle held %.1f dBFS (%d windows), idle %.1f dBFS (%d): %+.1f dB" % (h, hn, i, n, h - i))


main()
