#!/usr/bin/env python3
"""Writes the starting inputs of the fuzz targets into tests/fuzz/inputs/<target>/.

Small files, each a different path through its reader: every BMP layout the
loader takes, JPEG codings (through cjpeg, from libjpeg-turbo-progs), icons
with DIB and PNG entries, metafiles that use the record families, settings and
extension lists with the odd corners of their syntax. Run again after changing
it.
"""

import pathlib
import struct
import subprocess
import tempfile
import zlib

INPUTS = pathlib.Path(__file__).resolve().parent / "inputs"


def write(target, name, data):
    folder = INPUTS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def u16(*values):
    return struct.pack("<%dH" % len(values), *[v & 0xFFFF for v in values])


def u32(*values):
    return struct.pack("<%dI" % len(values), *[v & 0xFFFFFFFF for v in values])


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


# ------------------------------------------------------------------ DIBs

def info_header(width, height, bits, compression=0, colours=0, image_size=0, size=40):
    return u32(size, width, height) + u16(1, bits) + u32(compression, image_size, 2835, 2835, colours, 0)


def palette(n):
    return b"".join(bytes([(i * 37) & 0xFF, (i * 91) & 0xFF, (i * 53) & 0xFF, 0]) for i in range(n))


def rows(width, height, bits):
    """Pixel rows of a pattern, padded to four bytes, bottom row first."""
    out = b""
    for y in range(height):
        if bits == 24:
            line = b"".join(bytes([x * 40 & 0xFF, y * 60 & 0xFF, (x + y) * 30 & 0xFF]) for x in range(width))
        elif bits == 32:
            line = b"".join(bytes([x * 40 & 0xFF, y * 60 & 0xFF, 200, 255 if x % 2 else 0]) for x in range(width))
        elif bits == 16:
            line = b"".join(u16((x * 3) << 10 | (y * 5) << 5 | (x + y)) for x in range(width))
        elif bits == 8:
            line = bytes((x + 3 * y) & 0xFF for x in range(width))
        elif bits == 4:
            line = bytes(((x + y) & 15) << 4 | ((x + y + 1) & 15) for x in range(0, width, 2))
        else:  # 1
            line = bytes(0b10110010 ^ (0xFF if y % 2 else 0) for _ in range(0, width, 8))
        out += pad4(line)
    return out



def bmp(dib):
    header = b"BM" + u32(14 + len(dib), 0, 14 + 40)
    return header + dib


def dib(width, height, bits, compression=0, colours=0, body=None, masks=b"", size=40):
    n = colours or (1 << bits if bits <= 8 else 0)
    pixels = body if body is not None else rows(width, abs(height), bits)
    return info_header(width, height, bits, compression, colours, len(pixels) if compression else 0,
                       size) + masks + palette(n) + pixels


RLE8 = bytes([3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 1, 1, 2, 5, 0, 0, 0, 1])
RLE4 = bytes([4, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 2, 0, 5, 0x67, 0, 1])


def bmp_inputs():
    write("bmp", "24-bit.bmp", bmp(dib(5, 3, 24)))
    write("bmp", "24-bit-top-down.bmp", bmp(dib(3, -4, 24)))
    write("bmp", "32-bit.bmp", bmp(dib(4, 2, 32)))
    write("bmp", "16-bit.bmp", bmp(dib(3, 3, 16)))
    write("bmp", "16-bit-fields-565.bmp", bmp(dib(3, 2, 16, 3, masks=u32(0xF800, 0x07E0, 0x001F))))
    write("bmp", "32-bit-fields-v4.bmp",
          bmp(info_header(2, 2, 32, 3, 0, 0, 108)[:40] + u32(0xFF0000, 0xFF00, 0xFF, 0xFF000000)
              + b"\0" * 52 + rows(2, 2, 32)))
    write("bmp", "8-bit-palette.bmp", bmp(dib(6, 3, 8)))
    write("bmp", "8-bit-short-palette.bmp", bmp(dib(4, 2, 8, colours=5)))
    write("bmp", "4-bit.bmp", bmp(dib(5, 2, 4)))
    write("bmp", "1-bit.bmp", bmp(dib(9, 3, 1)))
    write("bmp", "rle8.bmp", bmp(dib(6, 4, 8, 1, body=RLE8)))
    write("bmp", "rle4.bmp", bmp(dib(8, 4, 4, 2, body=RLE4)))
    core = u32(12) + u16(3, 2, 1, 8) + b"".join(bytes([i, 255 - i, i // 2]) for i in range(256)) + rows(3, 2, 8)
    write("bmp", "core-header-8-bit.bmp", bmp(core))


# ------------------------------------------------------------------ JPEG

def ppm(width, height, grey=False):
    if grey:
        return b"P5\n%d %d\n255\n" % (width, height) + bytes((x * 7 + y * 13) & 0xFF
                                                            for y in range(height) for x in range(width))
    return b"P6\n%d %d\n255\n" % (width, height) + bytes(
        v for y in range(height) for x in range(width) for v in (x * 8 & 0xFF, y * 8 & 0xFF, (x ^ y) * 4 & 0xFF))


def jpeg_inputs():
    cases = {
        "baseline-420.jpg": ([], False, (17, 9)),
        "baseline-444.jpg": (["-sample", "1x1"], False, (8, 8)),
        "progressive.jpg": (["-progressive"], False, (20, 12)),
        "grey.jpg": ([], True, (9, 17)),
        "restart-intervals.jpg": (["-restart", "1B"], False, (32, 16)),
        "arithmetic.jpg": (["-arithmetic"], False, (16, 16)),
        "optimised-huffman.jpg": (["-optimize", "-quality", "30"], False, (12, 12)),
    }
    with tempfile.TemporaryDirectory() as tmp:
        for name, (options, grey, (w, h)) in cases.items():
            source = pathlib.Path(tmp) / "in.pnm"
            source.write_bytes(ppm(w, h, grey))
            data = subprocess.run(["cjpeg", *options, str(source)], check=True, capture_output=True).stdout
            write("jpeg", name, data)
        # Tall files cut a little way into their first scan, so that the
        # decoder's reading of how far the scans' data reaches has work to do;
        # and a sequential file of one scan a component.
        scans = pathlib.Path(tmp) / "scans.txt"
        scans.write_text("0;\n1;\n2;\n")
        tall = {
            "progressive-cut-in-first-scan.jpg": ["-progressive"],
            "progressive-restarts-cut-in-first-scan.jpg": ["-progressive", "-restart", "1"],
            "one-scan-a-component-cut.jpg": ["-scans", str(scans)],
        }
        source = pathlib.Path(tmp) / "tall.pnm"
        source.write_bytes(ppm(16, 600))
        for name, options in tall.items():
            data = subprocess.run(["cjpeg", *options, str(source)], check=True, capture_output=True).stdout
            sos = data.index(b"\xff\xda")
            first = sos + 2 + (data[sos + 2] << 8 | data[sos + 3])
            write("jpeg", name, data[:first + 12])


# ------------------------------------------------------------------ icons

def png(width, height):
    raw = b"".join(b"\0" + bytes(v for x in range(width) for v in (x * 30 & 0xFF, y * 30 & 0xFF, 99, 128 + x))
                   for y in range(height))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def icon_dib(width, height, bits):
    # The stored height counts the colour rows and the AND mask's.
    n = 1 << bits if bits <= 8 else 0
    mask = b"".join(pad4(bytes([0b01010101 if y % 2 else 0] * ((width + 7) // 8))) for y in range(height))
    return info_header(width, 2 * height, bits) + palette(n) + rows(width, height, bits) + mask


def ico(entries):
    directory = u16(0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    body = b""
    for width, height, bits, data in entries:
        directory += bytes([width & 0xFF, height & 0xFF, (1 << bits) & 0xFF if bits <= 8 else 0, 0]) + u16(1, bits) + u32(len(data), offset)
        offset += len(data)
        body += data
    return directory + body


def ico_inputs():
    write("ico", "4-bit-with-mask.ico", ico([(16, 16, 4, icon_dib(16, 16, 4))]))
    write("ico", "32-bit-alpha.ico", ico([(8, 8, 32, icon_dib(8, 8, 32))]))
    write("ico", "png-entry.ico", ico([(6, 5, 32, png(6, 5))]))
    write("ico", "three-sizes.ico", ico([(16, 16, 8, icon_dib(16, 16, 8)), (32, 32, 1, icon_dib(32, 32, 1)),
                                         (24, 24, 24, icon_dib(24, 24, 24))]))


# ------------------------------------------------------------------ EMF

def emr(kind, body=b""):
    body = pad4(body)
    return u32(kind, 8 + len(body)) + body


def emf(records, frame=(0, 0, 2000, 1500), device=(100, 100, 100, 100)):
    records = b"".join(records) + emr(14, u32(0, 16, 20))
    size = 108 + len(records)
    header = u32(1, 108, 0, 0, 20, 15, *frame, 0x464D4520, 0x10000, size, 0) + u16(8, 0) + u32(0, 0, 0, *device)
    header = header + b"\0" * (108 - len(header))
    return header + records


def emf_dib_record(kind, width, height, bits, compression=0, body=None):
    info = dib(width, height, bits, compression, body=body)
    header_bytes = 40 + len(palette(1 << bits if bits <= 8 else 0))
    if kind == 81:  # StretchDIBits
        fixed = u32(0, 0, 0, 0) + u32(2, 3, 0, 0, width, abs(height))
        at = 8 + len(fixed) + 20 + 16
        return emr(81, fixed + u32(at, header_bytes, at + header_bytes, len(info) - header_bytes, 0)
                   + u32(0x00CC0020, 15, 12) + info)
    fixed = u32(0, 0, 0, 0) + u32(1, 1, 0, 0, width, abs(height), 0, abs(height))
    at = 8 + len(fixed) + 20
    return emr(80, fixed + u32(at, header_bytes, at + header_bytes, len(info) - header_bytes, 0) + info)


def utf16(text):
    return text.encode("utf-16-le")


def emf_inputs():
    solid = [emr(39, u32(1, 0, 0x0000FF, 0)), emr(37, u32(1)), emr(38, u32(2, 0, 3, 0, 0xFF0000)), emr(37, u32(2))]
    write("emf", "shapes.emf", emf(solid + [
        emr(43, u32(1, 1, 10, 8)), emr(42, u32(4, 2, 18, 12)), emr(44, u32(2, 2, 16, 14, 4, 4)),
        emr(45, u32(1, 1, 15, 12, 15, 1, 1, 12)), emr(46, u32(2, 2, 14, 12, 14, 7, 2, 7)),
        emr(47, u32(3, 1, 17, 13, 17, 7, 3, 1)), emr(27, u32(0, 0)), emr(54, u32(19, 14)),
        emr(41, u32(10, 7, 5) + struct.pack("<ff", 0.0, 270.0)), emr(15, u32(3, 3, 0x00FF00)),
        emr(40, u32(1))]))
    points16 = u32(0, 0, 0, 0, 5) + u16(1, 1, 18, 2, 10, 14, 3, 9, 1, 1)
    write("emf", "polys.emf", emf(solid + [
        emr(86, points16), emr(87, points16), emr(85, u32(0, 0, 0, 0, 4) + u16(1, 1, 6, 14, 12, 0, 19, 13)),
        emr(91, u32(0, 0, 0, 0, 2, 6) + u32(3, 3) + u16(1, 1, 8, 1, 4, 7, 10, 2, 18, 2, 14, 9)),
        emr(3, u32(0, 0, 0, 0, 3, 2, 2, 12, 3, 7, 13)), emr(19, u32(2)),
        emr(8, u32(0, 0, 0, 0, 2, 7, 4, 3) + u32(1, 1, 9, 1, 9, 9, 1, 9, 11, 1, 19, 1, 15, 10)),
        emr(56, u32(0, 0, 0, 0, 4, 2, 2, 10, 2, 10, 10, 2, 10) + bytes([6, 2, 2, 3]))]))
    write("emf", "paths-and-clipping.emf", emf(solid + [
        emr(33), emr(30, u32(2, 2, 16, 12)), emr(29, u32(5, 5, 8, 8)), emr(59), emr(27, u32(1, 1)),
        emr(54, u32(18, 2)), emr(89, u32(0, 0, 0, 0, 3) + u16(18, 13, 1, 13, 9, 6)), emr(61), emr(60),
        emr(63, u32(0, 0, 0, 0)), emr(34, u32(-1 & 0xFFFFFFFF)), emr(59), emr(43, u32(0, 0, 12, 12)), emr(60),
        emr(67, u32(1)), emr(42, u32(0, 0, 20, 15)), emr(26, u32(3, 3)),
        emr(75, u32(36, 1) + u32(32, 1, 1, 16, 0, 0, 0, 20, 15) + u32(0, 0, 10, 10)),
        emr(43, u32(0, 0, 20, 15))]))
    write("emf", "mapping.emf", emf(solid + [
        emr(17, u32(8)), emr(9, u32(100, 100)), emr(10, u32(-10 & 0xFFFFFFFF, 0)), emr(11, u32(20, -15 & 0xFFFFFFFF)),
        emr(12, u32(0, 15)), emr(43, u32(0, 0, 60, 60)), emr(33),
        emr(35, struct.pack("<6f", 0.8, 0.3, -0.3, 0.8, 2.0, 1.0)), emr(42, u32(10, 10, 80, 50)),
        emr(36, struct.pack("<6f", 1.5, 0, 0, 1.5, 0, 0) + u32(2)), emr(43, u32(0, 0, 10, 10)), emr(34, u32(1)),
        emr(32, u32(2, 1, 3, 1)), emr(31, u32(1, 2, 1, 2)), emr(42, u32(0, 0, 50, 50))]))
    write("emf", "bitmaps.emf", emf([
        emf_dib_record(81, 4, 3, 24), emf_dib_record(81, 5, -2, 8), emf_dib_record(80, 3, 3, 32),
        emf_dib_record(81, 6, 4, 8, 1, RLE8), emf_dib_record(81, 8, 4, 4, 2, RLE4),
        emr(94, u32(3, 0, 28, 40 + 8, 28 + 48, 16) + info_header(2, 2, 1) + palette(2) + rows(2, 2, 1)),
        emr(37, u32(3)), emr(43, u32(2, 2, 18, 13)),
        emr(76, u32(0, 0, 0, 0, 1, 1, 6, 6, 0x00F00021, 0, 0) + struct.pack("<6f", 1, 0, 0, 1, 0, 0)
            + u32(0xFFFFFF, 0, 0, 0, 0, 0))]))
    text = utf16("Fuzz テキスト")
    font = u32(-12 & 0xFFFFFFFF, 0, 0, 0, 700) + bytes([1, 0, 0, 0, 0, 0, 0, 0]) + utf16("Liberation Sans").ljust(64, b"\0")
    font += b"\0" * (332 - len(font))
    n = len(text) // 2
    ext_text = (u32(0, 0, 20, 15, 1) + struct.pack("<ff", 1.0, 1.0)
                + u32(2, 3, n, 76, 0x0002, 0, 0, 20, 15, 76 + len(pad4(text))) + pad4(text)
                + u32(*[6] * n))
    write("emf", "text.emf", emf(solid + [
        emr(82, u32(4) + font), emr(37, u32(4)), emr(24, u32(0x008000)), emr(25, u32(0xEEEEEE)),
        emr(18, u32(2)), emr(22, u32(24)), emr(84, ext_text), emr(22, u32(6)),
        emr(83, u32(0, 0, 20, 15, 2) + struct.pack("<ff", 1.0, 1.0) + u32(2, 12, 4, 76, 0, 0, 0, 0, 0, 0)
            + b"abcd")]))
    write("emf", "pens-and-brushes.emf", emf([
        emr(95, u32(5, 0, 0, 0, 0) + u32(0x00010200, 3, 0, 0x00FF00, 0, 2) + u32(4, 2)),
        emr(37, u32(5)), emr(39, u32(6, 2, 0x804020, 3)), emr(37, u32(6)), emr(43, u32(1, 1, 19, 14)),
        emr(58, struct.pack("<f", 4.0)), emr(20, u32(7)), emr(42, u32(3, 3, 15, 12)),
        emr(37, u32(0x80000005)), emr(37, u32(0x80000008)), emr(44, u32(4, 4, 17, 12, 3, 3)),
        emr(49, u32(7) + u16(0x300, 2) + u32(0x0000FF, 0x00FF00)), emr(48, u32(7)), emr(52)]))


# ------------------------------------------------------------------ WMF

def wmf(records, right=400, bottom=300, inch=1440):
    head = u32(0x9AC6CDD7) + u16(0, 0, 0, right, bottom, inch) + u32(0)
    checksum = 0
    for i in range(0, 20, 2):
        checksum ^= struct.unpack_from("<H", head, i)[0]
    head += u16(checksum)
    body = b"".join(records) + u32(3) + u16(0)
    return head + u16(1, 9, 0x300) + u32(9 + len(body) // 2) + u16(8) + u32(64) + u16(0) + body


def wr(function, *parameters):
    return u32(3 + len(parameters)) + u16(function, *parameters)


def wmf_inputs():
    objects = [wr(0x02FC, 0, 0x00FF, 0, 0), wr(0x012D, 0), wr(0x02FA, 0, 2, 0, 0, 0x00FF), wr(0x012D, 1)]
    write("wmf", "shapes.wmf", wmf(objects + [
        wr(0x020B, 0, 0), wr(0x020C, 300, 400), wr(0x041B, 200, 300, 10, 10), wr(0x0418, 250, 350, 50, 60),
        wr(0x061C, 40, 40, 120, 380, 20, 20), wr(0x0817, 20, 20, 290, 10, 280, 390, 10, 10),
        wr(0x081A, 280, 200, 150, 390, 280, 390, 150, 200), wr(0x0830, 100, 30, 250, 100, 250, 300, 100, 100),
        wr(0x0214, 5, 5), wr(0x0213, 290, 390), wr(0x041F, 0, 0x00FF, 150, 150)]))
    write("wmf", "polys-and-regions.wmf", wmf(objects + [
        wr(0x0324, 4, 10, 10, 390, 20, 200, 290, 30, 280), wr(0x0325, 3, 5, 5, 395, 5, 5, 295),
        wr(0x0538, 2, 3, 3, 10, 10, 100, 10, 50, 100, 200, 200, 300, 200, 250, 290), wr(0x0106, 2),
        wr(0x0416, 250, 350, 50, 50), wr(0x0415, 150, 150, 100, 100), wr(0x001E),
        wr(0x06FF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), wr(0x012D, 2),
        wr(0x012B, 2), wr(0x0127, 0xFFFF), wr(0x061D, 0x0021, 0x00F0, 100, 100, 20, 20)]))
    dib24 = dib(4, 3, 24)
    write("wmf", "bitmaps.wmf", wmf([
        wr(0x0F43, *struct.unpack("<%dH" % ((len(dib24) + 22) // 2),
                                  u32(0x00CC0020) + u16(0, 3, 4, 0, 0, 150, 200, 20, 20) + dib24)),
        wr(0x0B41, *struct.unpack("<%dH" % ((len(dib24) + 20) // 2),
                                  u32(0x00CC0020) + u16(3, 4, 0, 0, 100, 100, 180, 180) + dib24)),
        wr(0x0940, *struct.unpack("<%dH" % ((len(dib24) + 16) // 2),
                                  u32(0x00CC0020) + u16(0, 0, 3, 4, 250, 250) + dib24)),
        wr(0x0142, *struct.unpack("<%dH" % ((len(dib(8, 8, 1)) + 4) // 2), u16(5, 0) + dib(8, 8, 1))),
        wr(0x012D, 0), wr(0x041B, 280, 380, 200, 300)]))
    face = b"Liberation Sans".ljust(32, b"\0")
    write("wmf", "text.wmf", wmf(objects + [
        wr(0x02FB, *struct.unpack("<%dH" % ((18 + len(face)) // 2),
                                  u16(-40 & 0xFFFF, 0, 0, 0, 400) + bytes([0, 1, 0, 0, 0, 0, 0, 0]) + face)),
        wr(0x012D, 2), wr(0x0209, 0x8000, 0), wr(0x0201, 0xEEEE, 0xEE), wr(0x0102, 2), wr(0x012E, 24),
        wr(0x0521, 5, *struct.unpack("<3H", b"hello\0"), 40, 20),
        wr(0x0A32, 100, 20, 4, 0x0006, 0, 0, 200, 300, *struct.unpack("<2H", b"abcd"), 30, 30, 30, 30),
        wr(0x020A, 10, 2), wr(0x0A32, 150, 20, 3, 0, *struct.unpack("<2H", b"xyz\0"))]))


# ------------------------------------------------------------------ settings

def settings_inputs():
    write("ini", "written-by-the-program.ini",
          b"[ExtList]\r\nPath=/home/user/orvelle.ext\r\n\r\n[Window]\r\nTop=120\r\nLeft=-30\r\n\r\n"
          b"[Option]\r\nErr_Count=20\r\nErr_Clr=15\r\n")
    write("ini", "hand-edited.ini",
          "\ufeff; kept by hand\n[window]\ntop = 0x1E\nLEFT=$FFFFFFFF\n\n[Other]\nkey=\"  quoted  \"\n"
          "empty=\n[option]\nerr_count=+7\nErr_Clr=abc\n[ExtList]\nPath=パス/名前.ext\n".encode("utf-8"))
    write("ini", "odd-bytes.ini", b"[Window\nTop=1\r[Option]\r\nErr_Count=\xff\xfe9\nno equals sign\n=value\n[]\n")
    write("ext", "defaults.ext", b"*.bmp\r\n*.jpg\r\n*.jpeg\r\n*.emf\r\n*.wmf\r\n")
    write("ext", "mixed-line-ends.ext", "*.BMP\n*.ico\r*.\r\n\r\n*.*\n*.写真\r\n.x\x00after zero".encode("utf-8"))
    write("ext", "not-utf8.ext", b"*.jp\xe9g\r\n\xff\xfe*\x00.\x00b\x00")


def main():
    bmp_inputs()
    jpeg_inputs()
    ico_inputs()
    emf_inputs()
    wmf_inputs()
    settings_inputs()


if __name__ == "__main__":
    main()
