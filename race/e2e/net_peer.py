#!/usr/bin/env python3
"""A race server of our own for the end-to-end test: it binds 127.0.0.1 on
an ephemeral port (written to the file named by its first argument), admits
one client onto the sample track and records the state packets it gets.

Arguments: PORT_FILE TRACK_DIGEST_HEX REPORT_FILE SECONDS
The report holds one line per event: "state TICK SERVER_TIME LENGTH" and
"disconnect SLOT KEY"; the peer ends after the client's disconnect or after
SECONDS of wall time, whichever comes first."""
import socket
import struct
import sys
import time

port_file, digest_hex, report_file, seconds = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
digest = bytes.fromhex(digest_hex)
SLOT, KEY, CONNECTION = 0, 4321, 1

sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("127.0.0.1", 0))
sock.settimeout(0.2)
with open(port_file + ".tmp", "w") as f:
    f.write(str(sock.getsockname()[1]))
import os
os.replace(port_file + ".tmp", port_file)

report = open(report_file, "w", buffering=1)
client_text = b""
end = time.monotonic() + seconds
while time.monotonic() < end:
    try:
        data, client = sock.recvfrom(4096)
    except socket.timeout:
        continue
    if not data:
        continue
    kind = data[0]
    if kind == 0:  # hello
        sock.sendto(struct.pack("<BIII", 2, SLOT, KEY, 6), client)
    elif kind == 3:  # client info: the rider's own text comes back as its info
        client_text = data[17:]
        sock.sendto(struct.pack("<BIIII", 4, CONNECTION, 0, 3, 1000) + digest + b"quarrybend", client)
    elif kind == 5:  # track acknowledged: the client's own rider
        sock.sendto(struct.pack("<BII", 8, CONNECTION, 0) + client_text, client)
    elif kind == 9:  # loaded: the clock
        sock.sendto(struct.pack("<BIII", 10, CONNECTION, 100, 0), client)
    elif kind == 11 and len(data) >= 21:
        tick = struct.unpack_from("<I", data, 17)[0]
        server_time = struct.unpack_from("<I", data, 13)[0]
        report.write("state %d %d %d %.3f\n" % (tick, server_time, len(data), time.monotonic()))
    elif kind == 15 and len(data) >= 9:
        slot, key = struct.unpack_from("<II", data, 1)
        report.write("disconnect %d %d\n" % (slot, key))
        sock.sendto(bytes([15]), client)
        break
report.close()
