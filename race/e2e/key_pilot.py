#!/usr/bin/env python3
"""Rides the player's bike round the sample track with key presses alone.

Reads the on-bike view's "--print-orientation" lines (race time, head
position, right and back axes) as the game writes them to the file given,
and holds the default keys through xdotool: "x" for throttle, "c" for the
front brake, Left and Right to lean, "b" to back up when stuck. The way is a smooth curve through the
track's timing gates in route order (each gate's centre, along its
direction), followed by aiming at a point on it a little ahead, as a
player would. Stops when the file named by --stop exists, releasing every
key.

usage: key_pilot.py ORIENTATION_FILE TIMING_GATES --stop FILE [--speed FT_S]
"""
import argparse
import math
import os
import re
import subprocess
import sys
import time

LINE = re.compile(
    r"t=(\S+) p0=(\S+) p1=(\S+) p2=(\S+) x0=(\S+) x1=(\S+) x2=(\S+) z0=(\S+) z1=(\S+) z2=(\S+)")


def read_gates(path):
    """The gates' centres and directions in route order (the normal lap)."""
    gates, order, part = [], [], None
    with open(path) as f:
        for raw in f:
            line = raw.strip()
            if line.endswith(":"):
                part = line[:-1]
                continue
            if part == "checkpoints" and line:
                numbers = [float(v) for v in re.findall(r"-?\d+(?:\.\d+)?", line)]
                _, x, _, z, dx, _, dz = numbers[:7]
                length = math.hypot(dx, dz) or 1.0
                gates.append((x, z, dx / length, dz / length))
            elif part == "normallap" and line:
                order = [int(v) % 100000 for v in line.split()]
    return [gates[g] for g in order]


def loop_path(gates, step=2.0):
    """Points every `step` ft along a closed Hermite curve through the gates."""
    points = []
    n = len(gates)
    for k in range(n):
        x0, z0, dx0, dz0 = gates[k]
        x1, z1, dx1, dz1 = gates[(k + 1) % n]
        chord = math.hypot(x1 - x0, z1 - z0)
        count = max(2, int(chord / step))
        for i in range(count):
            u = i / count
            h00 = 2 * u ** 3 - 3 * u ** 2 + 1
            h10 = u ** 3 - 2 * u ** 2 + u
            h01 = -2 * u ** 3 + 3 * u ** 2
            h11 = u ** 3 - u ** 2
            points.append((h00 * x0 + h10 * chord * dx0 + h01 * x1 + h11 * chord * dx1,
                           h00 * z0 + h10 * chord * dz0 + h01 * z1 + h11 * chord * dz1))
    return points


class Keys:
    """The keys held down, changed through xdotool only when they change."""

    def __init__(self):
        self.down = set()

    def hold(self, key, on):
        if on and key not in self.down:
            subprocess.run(["xdotool", "keydown", key], check=False)
            self.down.add(key)
        elif not on and key in self.down:
            subprocess.run(["xdotool", "keyup", key], check=False)
            self.down.discard(key)

    def release_all(self):
        for key in list(self.down):
            self.hold(key, False)


def follow(lines, stop, path, keys, speed_wanted):
    n = len(path)
    at = None
    last = None
    speed = 0.0
    slow_since = None  # race time the bike last went slower than a walk
    rolling = False     # off the line: only then can it be stuck
    backing_until = -1.0
    while not os.path.exists(stop):
        line = lines.readline()
        if not line:
            time.sleep(0.01)
            continue
        m = LINE.match(line)
        if not m:
            continue
        t, px, _, pz, _, x1, _, z0, _, z2 = (float(v) for v in m.groups())
        if last and t > last[0]:
            speed = 0.7 * speed + 0.3 * math.hypot(px - last[1], pz - last[2]) / (t - last[0])
        if last and t <= last[0]:
            continue
        last = (t, px, pz)
        # The nearest point of the way, searched near the last one once known.
        near = range(n) if at is None else (i % n for i in range(at - 20, at + 60))
        at = min(near, key=lambda i: (path[i][0] - px) ** 2 + (path[i][1] - pz) ** 2)
        ahead = 14.0 + 0.6 * speed
        target = path[(at + int(ahead / 2.0)) % n]
        fx, fz = -z0, -z2  # forward is the back axis reversed
        length = math.hypot(fx, fz) or 1.0
        fx, fz = fx / length, fz / length
        tx, tz = target[0] - px, target[1] - pz
        # Positive to the rider's right: the right of forward (fx, fz) is (-fz, fx).
        angle = math.atan2(tx * -fz + tz * fx, tx * fx + tz * fz)
        arc = 2 * math.sin(angle) / ahead
        turn = max(speed, 5.0)
        lean_wanted = math.atan(turn * turn * arc / 32.2)
        lean_wanted = max(-0.6, min(0.6, lean_wanted))
        # The right axis dips as the bike leans right.
        lean = math.asin(max(-1.0, min(1.0, -x1)))
        error = lean_wanted - lean
        band = 0.04
        # Stuck against something for two seconds: back up for a while, as
        # a player would.
        rolling = rolling or speed > 10.0
        if speed > 3.0 or not rolling:
            slow_since = None
        elif slow_since is None:
            slow_since = t
        if slow_since is not None and t - slow_since > 2.0 and backing_until < t:
            backing_until = t + 1.5
            slow_since = None
        backing = t < backing_until
        keys.hold("b", backing)
        keys.hold("Right", not backing and error > band)
        keys.hold("Left", not backing and error < -band)
        keys.hold("x", not backing and speed < speed_wanted)
        keys.hold("c", not backing and speed > speed_wanted + 8)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("orientation")
    parser.add_argument("gates")
    parser.add_argument("--stop", required=True)
    parser.add_argument("--speed", type=float, default=28.0)
    args = parser.parse_args()
    path = loop_path(read_gates(args.gates))
    keys = Keys()
    try:
        with open(args.orientation) as lines:
            lines.seek(0, os.SEEK_END)
            follow(lines, args.stop, path, keys, args.speed)
    finally:
        keys.release_all()
    return 0


if __name__ == "__main__":
    sys.exit(main())
