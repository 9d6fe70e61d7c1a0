#!/usr/bin/env python3
"""Builds Tiermo's icons and cursors from the text pictures in res/art/.

Each res/art/NAME.ico.txt or NAME.cur.txt becomes res/NAME.ico or res/NAME.cur.
A picture file holds one or more images. Lines starting with '#' are comments
and blank lines are ignored. An image starts with a header line

    size 32x32                  (icons)
    size 32x32 hotspot 8,8      (cursors)

followed by one line per pixel row, one character per pixel (see LEGEND).
Icons are written as 16-colour images, cursors as monochrome ones; the output
depends on the pictures only, so it is byte-for-byte reproducible.

    python3 scripts/make_art.py            regenerate every icon and cursor
    python3 scripts/make_art.py --check    exit 1 if a binary is out of date
"""

import argparse
import re
import struct
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
ART_DIR = ROOT / "res" / "art"
OUT_DIR = ROOT / "res"

TRANSPARENT = "."

# The standard 16-colour palette, in palette order: character, (red, green, blue).
LEGEND = [
    ("K", (0x00, 0x00, 0x00)),  # black
    ("m", (0x80, 0x00, 0x00)),  # maroon
    ("e", (0x00, 0x80, 0x00)),  # dark green
    ("o", (0x80, 0x80, 0x00)),  # olive
    ("n", (0x00, 0x00, 0x80)),  # navy
    ("p", (0x80, 0x00, 0x80)),  # purple
    ("t", (0x00, 0x80, 0x80)),  # teal
    ("g", (0x80, 0x80, 0x80)),  # dark grey
    ("G", (0xC0, 0xC0, 0xC0)),  # light grey
    ("R", (0xFF, 0x00, 0x00)),  # red
    ("L", (0x00, 0xFF, 0x00)),  # lime
    ("Y", (0xFF, 0xFF, 0x00)),  # yellow
    ("B", (0x00, 0x00, 0xFF)),  # blue
    ("M", (0xFF, 0x00, 0xFF)),  # magenta
    ("C", (0x00, 0xFF, 0xFF)),  # cyan
    ("W", (0xFF, 0xFF, 0xFF)),  # white
]
ICON_INDEX = {ch: i for i, (ch, _) in enumerate(LEGEND)}

# Cursors are monochrome: black, white or transparent only.
CURSOR_CHARS = {"K", "W", TRANSPARENT}

ICON_BPP = 4
CURSOR_BPP = 1
RES_ICON = 1
RES_CURSOR = 2
BITMAPINFOHEADER_SIZE = 40
DIR_HEADER_SIZE = 6
DIR_ENTRY_SIZE = 16
MAX_SIZE = 256

HEADER_RE = re.compile(r"^size\s+(\d+)x(\d+)(?:\s+hotspot\s+(\d+),(\d+))?\s*$")


class ArtError(Exception):
    pass


class Image:
    def __init__(self, width, height, hotspot, rows):
        self.width = width
        self.height = height
        self.hotspot = hotspot
        self.rows = rows


def parse_picture(text, name, kind):
    """Returns the images of one picture file; kind is 'ico' or 'cur'."""
    images = []
    current = None
    line_no = 0

    def finish():
        if current is not None and len(current.rows) != current.height:
            raise ArtError(
                f"{name}: image {len(images) + 1} has {len(current.rows)} rows, "
                f"expected {current.height}"
            )

    allowed = CURSOR_CHARS if kind == "cur" else set(ICON_INDEX) | {TRANSPARENT}
    for line_no, line in enumerate(text.splitlines(), 1):
        line = line.rstrip()
        if not line or line.startswith("#"):
            continue
        where = f"{name}:{line_no}"
        if line.startswith("size"):
            finish()
            if current is not None:
                images.append(current)
            match = HEADER_RE.match(line)
            if not match:
                raise ArtError(f"{where}: bad header {line!r}, expected 'size WxH [hotspot X,Y]'")
            width, height = int(match.group(1)), int(match.group(2))
            if not (0 < width <= MAX_SIZE and 0 < height <= MAX_SIZE):
                raise ArtError(f"{where}: size {width}x{height} out of range")
            hotspot = None
            if match.group(3) is not None:
                hotspot = (int(match.group(3)), int(match.group(4)))
                if hotspot[0] >= width or hotspot[1] >= height:
                    raise ArtError(f"{where}: hot spot {hotspot} outside the image")
            if kind == "cur" and hotspot is None:
                raise ArtError(f"{where}: a cursor image needs 'hotspot X,Y'")
            if kind == "ico" and hotspot is not None:
                raise ArtError(f"{where}: an icon image has no hot spot")
            current = Image(width, height, hotspot, [])
            continue
        if current is None:
            raise ArtError(f"{where}: pixel row before the first 'size' header")
        if len(current.rows) == current.height:
            raise ArtError(f"{where}: more than {current.height} rows")
        if len(line) != current.width:
            raise ArtError(f"{where}: row has {len(line)} pixels, expected {current.width}")
        bad = sorted(set(line) - allowed)
        if bad:
            raise ArtError(f"{where}: unknown pixel character(s) {''.join(bad)!r}")
        current.rows.append(line)
    finish()
    if current is not None:
        images.append(current)
    if not images:
        raise ArtError(f"{name}: no image")
    return images


def row_bytes(width, bpp):
    # DIB rows are padded to a multiple of 32 bits.
    return (width * bpp + 31) // 32 * 4


def pack_rows(image, bpp, value):
    """Packs the image bottom-up; value(ch) gives the pixel's bits."""
    out = bytearray()
    stride = row_bytes(image.width, bpp)
    per_byte = 8 // bpp
    for row in reversed(image.rows):
        packed = bytearray(stride)
        for x, ch in enumerate(row):
            shift = 8 - bpp * (x % per_byte + 1)
            packed[x // per_byte] |= value(ch) << shift
        out += packed
    return bytes(out)


def encode_dib(image, bpp, palette, xor_value):
    xor = pack_rows(image, bpp, xor_value)
    mask = pack_rows(image, 1, lambda ch: 1 if ch == TRANSPARENT else 0)
    header = struct.pack(
        "<IiiHHIIiiII",
        BITMAPINFOHEADER_SIZE,
        image.width,
        image.height * 2,  # colour bitmap and mask together
        1,
        bpp,
        0,  # BI_RGB
        len(xor) + len(mask),
        0,
        0,
        0,
        0,
    )
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + xor + mask


def encode_icon(images):
    palette = [rgb for _, rgb in LEGEND]
    # Transparent pixels are black in the colour bitmap so the AND mask alone clears them.
    dibs = [
        encode_dib(im, ICON_BPP, palette, lambda ch: ICON_INDEX.get(ch, 0)) for im in images
    ]
    entries = [
        (im.width % 256, im.height % 256, 1 << ICON_BPP, 1, ICON_BPP) for im in images
    ]
    return pack_directory(RES_ICON, entries, dibs)


def encode_cursor(images):
    palette = [(0, 0, 0), (0xFF, 0xFF, 0xFF)]
    dibs = [encode_dib(im, CURSOR_BPP, palette, lambda ch: 1 if ch == "W" else 0) for im in images]
    # In a cursor directory the planes and bit-count fields hold the hot spot.
    entries = [
        (im.width % 256, im.height % 256, 1 << CURSOR_BPP, im.hotspot[0], im.hotspot[1])
        for im in images
    ]
    return pack_directory(RES_CURSOR, entries, dibs)


def pack_directory(res_type, entries, dibs):
    out = bytearray(struct.pack("<HHH", 0, res_type, len(dibs)))
    offset = DIR_HEADER_SIZE + DIR_ENTRY_SIZE * len(dibs)
    for (width, height, colours, field1, field2), dib in zip(entries, dibs):
        out += struct.pack("<BBBBHHII", width, height, colours, 0, field1, field2, len(dib), offset)
        offset += len(dib)
    for dib in dibs:
        out += dib
    return bytes(out)


def build(art_dir):
    """Returns {output file name: bytes} for every picture in art_dir."""
    outputs = {}
    for path in sorted(art_dir.glob("*.txt")):
        target = path.name[: -len(".txt")]
        kind = target.rsplit(".", 1)[-1]
        if kind not in ("ico", "cur"):
            raise ArtError(f"{path.name}: name must end in .ico.txt or .cur.txt")
        images = parse_picture(path.read_text(encoding="ascii"), path.name, kind)
        outputs[target] = encode_icon(images) if kind == "ico" else encode_cursor(images)
    if not outputs:
        raise ArtError(f"{art_dir}: no pictures found")
    return outputs


def main(argv=None):
    parser = argparse.ArgumentParser(description="Build Tiermo's icons and cursors.")
    parser.add_argument("--check", action="store_true", help="only compare, write nothing")
    parser.add_argument("--art-dir", type=Path, default=ART_DIR)
    parser.add_argument("--out-dir", type=Path, default=OUT_DIR)
    args = parser.parse_args(argv)
    try:
        outputs = build(args.art_dir)
    except (ArtError, OSError, UnicodeDecodeError) as error:
        print(f"make_art: {error}", file=sys.stderr)
        return 2
    stale = []
    for name, data in outputs.items():
        target = args.out_dir / name
        current = target.read_bytes() if target.is_file() else None
        if current == data:
            continue
        stale.append(name)
        if not args.check:
            target.write_bytes(data)
    if args.check:
        for name in stale:
            print(f"make_art: {args.out_dir / name} differs from its picture", file=sys.stderr)
        return 1 if stale else 0
    for name in stale:
        print(f"wrote {args.out_dir / name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
