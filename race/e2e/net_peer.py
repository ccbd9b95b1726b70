#!/usr/bin/env python3
"""A race server of our own for the end-to-end test: it binds 127.0.0.1 on
an ephemeral port (written to the file named by its first argument), admits
one client onto the sample track and records the state packets it gets.

Arguments: PORT_FILE TRACK_DIGEST_HEX REPORT_FILE SECONDS [items|slow_leave]
The report holds one line per event: "state TICK SERVER_TIME LENGTH" and
"disconnect SLOT KEY"; the peer ends after the client's disconnect or after
SECONDS of wall time, whichever comes first.

With "items", once the client has raced a little the peer sends reliable
messages (out of order, resent every half second until acknowledged): chat,
a knockout command, a timing correction, a terrain edit, a ping and a
version request. It reports "ack SEQ" for the client's acks and
"reliable SEQ ITEM TEXT" for the client's own reliable messages (acked at
once; a version answer's text is shown unflipped).

Every run reports "hello LENGTH VERSION" for the client's hellos and
"restart SLOT KEY VALUE LENGTH" for its restart requests. With
"slow_leave" the peer lets the client's first two disconnects go
unanswered, so the client must keep sending them until the third."""
import socket
import struct
import sys
import time

port_file, digest_hex, report_file, seconds = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
digest = bytes.fromhex(digest_hex)
items = len(sys.argv) > 5 and sys.argv[5] == "items"
slow_leave = len(sys.argv) > 5 and sys.argv[5] == "slow_leave"
disconnects = 0
SLOT, KEY, CONNECTION = 0, 4321, 1

sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("127.0.0.1", 0))
sock.settimeout(0.2)
with open(port_file + ".tmp", "w") as f:
    f.write(str(sock.getsockname()[1]))
import os
os.replace(port_file + ".tmp", port_file)

report = open(report_file, "w", buffering=1)


def rut_message():
    """Four points of a stroke near the middle of the track."""
    head = bytes([1]) + struct.pack("<HHHH", 32767, 32767, 33000, 33000)
    head += (0x7f0000).to_bytes(3, "little") + (0x7f0000).to_bytes(3, "little")
    head += bytes([(48 << 2) | 0, (16 << 2) | 1])
    return head + bytes([128, 128, (48 << 2) | 0, (16 << 2) | 1]) * 3


def timing_correction():
    # Slot 5 has no rider and slot 0 is the client's own: both left alone,
    # then the results are brought up to date.
    return struct.pack("<IIIII", CONNECTION, 2, 5, 0, 500) + struct.pack("<III", 0, 0, 600)


outbox = {}  # sequence -> datagram, until the client's ack
if items:
    messages = [(19, b"Welcome to the loopback race"), (24, b"knockout 100 200"), (21, timing_correction()),
                (27, struct.pack("<I", CONNECTION) + rut_message()), (20, b""), (30, b"")]
    pending = [struct.pack("<BIB", 17, seq, item) + payload for seq, (item, payload) in enumerate(messages)]
    # The second goes first: the client must hold it until the first arrives.
    pending[0], pending[1] = pending[1], pending[0]
states = 0
next_resend = 0.0
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
        if len(data) >= 9:
            report.write("hello %d %d\n" % (len(data), struct.unpack_from("<I", data, 5)[0]))
        sock.sendto(struct.pack("<BIII", 2, SLOT, KEY, 6), client)
    elif kind == 3:  # client info: the rider's own text comes back as its info
        client_text = data[17:]
        sock.sendto(struct.pack("<BIIII", 4, CONNECTION, 0, 3, 1000) + digest + b"quarrybend", client)
    elif kind == 5:  # track acknowledged: the client's own rider
        sock.sendto(struct.pack("<BII", 8, CONNECTION, 0) + client_text, client)
    elif kind == 9:  # loaded: the clock
        sock.sendto(struct.pack("<BIII", 10, CONNECTION, 100, 0), client)
    elif kind == 18 and len(data) >= 13:
        seq = struct.unpack_from("<I", data, 9)[0]
        report.write("ack %d\n" % seq)
        outbox.pop(seq, None)
    elif kind == 17 and len(data) >= 14:
        seq, item = struct.unpack_from("<I", data, 9)[0], data[13]
        text = data[14:]
        if item == 30:
            text = bytes(b ^ 0x80 for b in text)
        report.write("reliable %d %d %s\n" % (seq, item, text.decode("latin-1").replace("\n", " ")))
        sock.sendto(struct.pack("<BI", 18, seq), client)
    elif kind == 11 and len(data) >= 21:
        states += 1
        if items and states == 64:
            for datagram in pending:
                outbox[struct.unpack_from("<I", datagram, 1)[0]] = datagram
                sock.sendto(datagram, client)
            next_resend = time.monotonic() + 0.5
        if outbox and time.monotonic() >= next_resend:
            for datagram in outbox.values():
                sock.sendto(datagram, client)
            next_resend = time.monotonic() + 0.5
        tick = struct.unpack_from("<I", data, 17)[0]
        server_time = struct.unpack_from("<I", data, 13)[0]
        report.write("state %d %d %d %.3f\n" % (tick, server_time, len(data), time.monotonic()))
    elif kind == 13 and len(data) >= 13:
        slot, key, value = struct.unpack_from("<III", data, 1)
        report.write("restart %d %d %d %d\n" % (slot, key, value, len(data)))
    elif kind == 15 and len(data) >= 9:
        slot, key = struct.unpack_from("<II", data, 1)
        report.write("disconnect %d %d\n" % (slot, key))
        disconnects += 1
        if slow_leave and disconnects < 3:
            continue
        sock.sendto(bytes([15]), client)
        break
report.close()
