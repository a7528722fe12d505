#!/usr/bin/env python3
"""Writes klavix.ico, the program's icon: the tray's look ("Ая" in white, bold, on the tray's
blue square, the letters 3/4 of the square high) at 16, 24, 32, 48 and 256 pixels.

The tray draws its icon with GDI at run time in bold Segoe UI; that font is not free, so the
build draws the same glyph with DejaVu Sans Condensed Bold (Debian's fonts-dejavu-extra),
whose letters have about Segoe UI's width. ImageMagick renders each size; this script packs
them: 32-bit BMP images with an all-opaque mask up to 48 pixels, PNG at 256 (what Windows
expects there). The output depends only on these inputs, byte for byte.

With --wizard OUT.bmp it also draws the installer's side picture (164 x 314, the size the
installer's first and last pages show) with the same glyph on the same blue.

Usage: make_icon.py OUT.ico [--wizard OUT.bmp] [--font FILE] [--convert PROGRAM]
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
BACKGROUND = (30, 106, 192)  # the tray's running colour, RGB(30, 106, 192)
GLYPH = "Ая"
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf"


def find_convert():
    # Debian's ImageMagick 6; a stand-in elsewhere on PATH may not render text.
    for candidate in ("/usr/bin/convert", shutil.which("convert")):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    sys.exit("make_icon: ImageMagick's convert not found (package imagemagick)")


def render(convert, font, size, width=None, offset_y=0):
    """Top-down RGBA rows: the glyph, size * 3/4 high, centred on a size x size square (or on
    width x size, moved down by offset_y)."""
    width = width or size
    cmd = [
        convert, "-size", f"{width}x{size}", "xc:rgb({},{},{})".format(*BACKGROUND),
        "-font", font, "-pointsize", str(size * 3 // 4), "-fill", "white",
        "-gravity", "center", "-annotate", f"+0{offset_y:+d}", GLYPH,
        "-alpha", "on", "-depth", "8", "rgba:-",
    ]
    env = dict(os.environ, LC_ALL="C.UTF-8", MAGICK_THREAD_LIMIT="1")
    pixels = subprocess.run(cmd, check=True, stdout=subprocess.PIPE, env=env).stdout
    if len(pixels) != width * size * 4:
        sys.exit(f"make_icon: convert gave {len(pixels)} bytes for {width}x{size}")
    # Opaque everywhere, like the tray icon, whatever the renderer left in the alpha byte.
    rgba = bytearray(pixels)
    rgba[3::4] = b"\xff" * (width * size)
    return bytes(rgba)


def wizard_bitmap(convert, font):
    """164 x 314, 24-bit BMP: the glyph, 96 pixels wide-ish, in the upper part of the blue."""
    width, height = 164, 314
    glyph = render(convert, font, 128, width=width, offset_y=0)
    background = bytes((BACKGROUND[2], BACKGROUND[1], BACKGROUND[0])) * width
    top = 40  # where the 128-pixel band with the glyph starts
    pad = b"\x00" * ((4 - width * 3 % 4) % 4)
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        if top <= y < top + 128:
            rgba = glyph[(y - top) * width * 4:(y - top + 1) * width * 4]
            row = bytearray(width * 3)
            row[0::3], row[1::3], row[2::3] = rgba[2::4], rgba[1::4], rgba[0::4]
            rows.append(bytes(row) + pad)
        else:
            rows.append(background + pad)
    pixels = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 14 + len(header)) + header + pixels


def bmp_image(size, rgba):
    """An icon image as Windows stores it: BITMAPINFOHEADER of double height, bottom-up BGRA
    rows, then the AND mask (1 bit a pixel, rows padded to 32 bits; all 0, opaque)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray(rgba[y * size * 4:(y + 1) * size * 4])
        row[0::4], row[2::4] = row[2::4], row[0::4]  # RGBA -> BGRA
        rows.append(bytes(row))
    mask_row = bytes(((size + 31) // 32) * 4)
    return header + b"".join(rows) + mask_row * size


def png_image(size, rgba):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\x00" + rgba[y * size * 4:(y + 1) * size * 4] for y in range(size))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ico(images):
    """ICONDIR, one ICONDIRENTRY per image (256 is written as 0), then the images."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        blobs.append(data)
    return out + b"".join(blobs)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    ap.add_argument("--wizard", default=None)
    ap.add_argument("--font", default=FONT)
    ap.add_argument("--convert", default=None)
    args = ap.parse_args()
    if not os.path.exists(args.font):
        sys.exit(f"make_icon: font {args.font} not found (package fonts-dejavu-extra)")
    convert = args.convert or find_convert()
    images = []
    for size in SIZES:
        rgba = render(convert, args.font, size)
        images.append((size, png_image(size, rgba) if size >= 256 else bmp_image(size, rgba)))
    outputs = [(args.out, ico(images))]
    if args.wizard:
        outputs.append((args.wizard, wizard_bitmap(convert, args.font)))
    for path, data in outputs:
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, path)


if __name__ == "__main__":
    main()
