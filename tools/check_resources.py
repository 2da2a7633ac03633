#!/usr/bin/env python3
# Checks the files in resources/ that tools/make_resources.py writes: every ICO holds exactly the
# expected sizes as well-formed images (32-bit DIBs with an AND mask, or a PNG for 256 pixels)
# with some opaque and some transparent pixels, and banner.bmp is a bottom-up 24-bit DIB of
# 322x74 pixels. Prints one line a file; exits with 1 on the first fault.
# Python 3 standard library only. Run from anywhere: python3 tools/check_resources.py
import os
import struct
import sys
import zlib

RES_DIR = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "resources")

EXPECTED = {
    "app.ico": (16, 20, 24, 32, 40, 48, 64, 256),
    "database.ico": (16, 17, 20, 21, 24, 26, 32, 34, 48),
    "table.ico": (16, 17, 20, 21, 24, 26, 32, 34, 48),
    "code.ico": (16, 17, 20, 21, 24, 26, 32, 34, 48),
}


def fail(msg):
    print("FAULT:", msg)
    sys.exit(1)


def png_alpha(blob, name):
    """Alpha values of an 8-bit RGBA PNG (filters undone), after checking its chunks' CRCs."""
    if blob[:8] != b"\x89PNG\r\n\x1a\n":
        fail(name + ": no PNG signature")
    pos, idat, w = 8, b"", 0
    while pos < len(blob):
        n, tag = struct.unpack(">I4s", blob[pos:pos + 8])
        data = blob[pos + 8:pos + 8 + n]
        if struct.unpack(">I", blob[pos + 8 + n:pos + 12 + n])[0] != zlib.crc32(tag + data):
            fail(name + ": bad CRC in " + tag.decode())
        if tag == b"IHDR":
            w, h, depth, kind = struct.unpack(">IIBB", data[:10])
            if (depth, kind) != (8, 6):
                fail(name + ": PNG is not 8-bit RGBA")
        elif tag == b"IDAT":
            idat += data
        pos += 12 + n
    raw = zlib.decompress(idat)
    stride = w * 4
    prev = bytearray(stride)
    alpha = []
    for y in range(h):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        alpha += line[3::4]
        prev = line
    return w, h, alpha


def check_ico(name, sizes):
    data = open(os.path.join(RES_DIR, name), "rb").read()
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    if (reserved, kind) != (0, 1):
        fail(name + ": not an icon file")
    found = []
    for k in range(count):
        w, h, colours, _, planes, bits, size, offset = struct.unpack("<BBBBHHII", data[6 + 16 * k:22 + 16 * k])
        w, h = w or 256, h or 256
        blob = data[offset:offset + size]
        if len(blob) != size or (planes, bits, colours) != (1, 32, 0) or w != h:
            fail("%s: entry %d (%dx%d) is malformed" % (name, k, w, h))
        if blob[:4] == b"\x89PNG":
            pw, ph, alpha = png_alpha(blob, name)
            if (pw, ph) != (w, h):
                fail("%s: PNG of %dx%d under a %d entry" % (name, pw, ph, w))
        else:
            hs, bw, bh, bplanes, bbits, comp = struct.unpack("<IiiHHI", blob[:20])
            mask = (w + 31) // 32 * 4 * h
            if (hs, bw, bh, bplanes, bbits, comp) != (40, w, 2 * h, 1, 32, 0) or size != 40 + w * h * 4 + mask:
                fail("%s: DIB of the %d entry is malformed" % (name, w))
            alpha = blob[40 + 3:40 + w * h * 4:4]
        if not any(a == 255 for a in alpha) or not any(a == 0 for a in alpha):
            fail("%s: %d image has no opaque or no transparent pixels" % (name, w))
        found.append(w)
    if tuple(found) != tuple(sizes):
        fail("%s: sizes %s, expected %s" % (name, found, list(sizes)))
    print("%-13s %6d bytes  sizes %s" % (name, len(data), " ".join(map(str, found))))


def check_bmp(name, w, h):
    data = open(os.path.join(RES_DIR, name), "rb").read()
    magic, size, _, _, offset = struct.unpack("<2sIHHI", data[:14])
    hs, bw, bh, planes, bits, comp, image = struct.unpack("<IiiHHII", data[14:38])
    stride = (w * 3 + 3) // 4 * 4
    if (magic, size, offset, hs) != (b"BM", len(data), 54, 40) or (bw, bh, planes, bits, comp) != (w, h, 1, 24, 0) \
            or image != stride * h or len(data) != 54 + stride * h:
        fail(name + ": not a bottom-up 24-bit %dx%d DIB" % (w, h))
    corner = data[54:57]
    if corner != b"\xff\xff\xff":
        fail(name + ": background is not white")
    print("%-13s %6d bytes  %dx%d, 24 bits, bottom-up" % (name, len(data), w, h))


def main():
    for name, sizes in EXPECTED.items():
        check_ico(name, sizes)
    check_bmp("banner.bmp", 322, 74)


if __name__ == "__main__":
    main()
