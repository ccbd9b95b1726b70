"""Reading the pictures the end-to-end scripts look at: the game's own PNG
files (16-bit grey height maps) decoded here, screen captures through
ImageMagick's convert as raw RGB."""

import struct
import subprocess
import zlib

SIGNATURE = b"\x89PNG\r\n\x1a\n"
CHANNELS = {0: 1, 2: 3, 4: 2, 6: 4}


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read(path):
    """(width, height, depth, channels, rows) of a non-interlaced PNG of 8
    or 16 bits a sample, no palette: rows are the unfiltered bytes."""
    data = open(path, "rb").read()
    if data[:8] != SIGNATURE:
        raise ValueError("%s: not a PNG file" % path)
    pos, idat, header = 8, b"", None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body[:13])
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    if header is None:
        raise ValueError("%s: no IHDR" % path)
    width, height, depth, colour, _, _, interlace = header
    if depth not in (8, 16) or colour not in CHANNELS or interlace:
        raise ValueError("%s: depth %d colour type %d interlace %d not read here" % (path, depth, colour, interlace))
    channels = CHANNELS[colour]
    step = channels * depth // 8
    stride = width * step
    raw = zlib.decompress(idat)
    rows, prev = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        f = raw[start]
        line = bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - step] if i >= step else 0
            b = prev[i]
            c = prev[i - step] if i >= step else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                line[i] = (line[i] + _paeth(a, b, c)) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, depth, channels, rows


def gray16(path):
    """The rows of a 16-bit grey PNG as tuples of samples."""
    width, _, depth, channels, rows = read(path)
    if depth != 16 or channels != 1:
        raise ValueError("%s: %d bits, %d channels where 16-bit grey was expected" % (path, depth, channels))
    return [struct.unpack(">%dH" % width, row) for row in rows]


def rgb(path):
    """The pixels of any picture ImageMagick reads, as bytes r, g, b, ..."""
    return subprocess.run(["convert", path, "rgb:-"], capture_output=True, check=True).stdout
