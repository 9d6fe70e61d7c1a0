#!/usr/bin/env python3
"""Tests for make_art.py: decodes the written icons and cursors independently and
checks them against the pictures; also checks the pictures against each other."""

import io
import shutil
import struct
import sys
import tempfile
import unittest
from contextlib import redirect_stderr, redirect_stdout
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import make_art  # noqa: E402

BLACK, NAVY, WHITE = (0, 0, 0), (0, 0, 0x80), (0xFF, 0xFF, 0xFF)
OUTPUTS = ["app.ico", "position.ico", "position_empty.ico", "hover.cur", "drag.cur"]


def decode(data):
    """Returns (type, [(entry dict, rows of characters)]) for an .ico or .cur file."""
    reserved, res_type, count = struct.unpack_from("<HHH", data, 0)
    assert reserved == 0 and res_type in (1, 2), (reserved, res_type)
    by_rgb = {rgb: ch for ch, rgb in make_art.LEGEND}
    images = []
    for i in range(count):
        entry_fields = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        w, h, colours, zero, f1, f2, size, offset = entry_fields
        assert zero == 0
        entry = dict(width=w or 256, height=h or 256, colours=colours, f1=f1, f2=f2)
        dib = data[offset : offset + size]
        assert len(dib) == size, "image runs past the end of the file"
        hsize, bw, bh, planes, bpp, compression, image_size = struct.unpack_from("<IiiHHII", dib)
        assert (hsize, planes, compression) == (40, 1, 0)
        assert (bw, bh) == (entry["width"], 2 * entry["height"]), (bw, bh)
        entry["bpp"] = bpp
        palette = [
            (r, g, b) for b, g, r, _ in struct.iter_unpack("<BBBB", dib[40 : 40 + 4 * (1 << bpp)])
        ]
        entry["palette"] = palette
        xor_stride = ((bw * bpp + 31) // 32) * 4
        and_stride = ((bw + 31) // 32) * 4
        pos = 40 + 4 * len(palette)
        assert size == pos + (xor_stride + and_stride) * entry["height"], "bad image size"
        assert image_size == size - pos
        xor_at, and_at = pos, pos + xor_stride * entry["height"]
        rows = []
        for y in range(entry["height"]):
            src = entry["height"] - 1 - y  # rows are stored bottom-up
            row = ""
            for x in range(bw):
                bit = x * bpp
                byte = dib[xor_at + src * xor_stride + bit // 8]
                index = (byte >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1)
                mask = (dib[and_at + src * and_stride + x // 8] >> (7 - x % 8)) & 1
                if mask:
                    assert index == 0, f"transparent pixel ({x},{y}) is not black"
                    row += "."
                else:
                    row += by_rgb[palette[index]]
            rows.append(row)
        images.append((entry, rows))
    return res_type, images


def picture(name):
    kind = name.rsplit(".", 1)[-1]
    path = make_art.ART_DIR / (name + ".txt")
    return make_art.parse_picture(path.read_text(), path.name, kind)


class CommittedArtTest(unittest.TestCase):
    def test_binaries_are_up_to_date(self):
        with redirect_stderr(io.StringIO()) as err:
            self.assertEqual(make_art.main(["--check"]), 0, err.getvalue())

    def test_binaries_decode_to_their_pictures(self):
        for name in OUTPUTS:
            with self.subTest(name):
                res_type, images = decode((make_art.OUT_DIR / name).read_bytes())
                expected = picture(name)
                self.assertEqual(len(images), len(expected))
                for (entry, rows), image in zip(images, expected):
                    self.assertEqual(rows, image.rows)
                    if name.endswith(".ico"):
                        self.assertEqual(res_type, 1)
                        self.assertEqual((entry["bpp"], entry["colours"], entry["f1"]), (4, 16, 1))
                        self.assertEqual(len(set(entry["palette"])), 16)
                        for rgb in (BLACK, NAVY, WHITE):
                            self.assertIn(rgb, entry["palette"])
                    else:
                        self.assertEqual(res_type, 2)
                        self.assertEqual(entry["bpp"], 1)
                        self.assertEqual(entry["palette"], [BLACK, WHITE])
                        self.assertEqual((entry["f1"], entry["f2"]), (8, 8), "hot spot")

    def test_app_icon_has_32_and_16_pixel_images(self):
        _, images = decode((make_art.OUT_DIR / "app.ico").read_bytes())
        sizes = [(entry["width"], entry["height"]) for entry, _ in images]
        self.assertEqual(sizes, [(32, 32), (16, 16)])


def client_area(rows):
    """Pixels of the white client rectangle: the white pixels below the caption."""
    return {(x, y) for y, row in enumerate(rows) for x, ch in enumerate(row) if ch == "W"}


class ArtConsistencyTest(unittest.TestCase):
    def test_empty_position_icon_differs_only_inside_client_area(self):
        full = picture("position.ico")[0].rows
        empty = picture("position_empty.ico")[0].rows
        client = client_area(empty)
        self.assertGreater(len(client), 200)
        for y in range(32):
            for x in range(32):
                if (x, y) not in client:
                    self.assertEqual(full[y][x], empty[y][x], f"pixel ({x},{y})")
        self.assertTrue(any(full[y][x] == "K" for x, y in client), "no mark in client area")

    def test_drag_cursor_shows_the_icon_mark_centred_on_hot_spot(self):
        full = picture("position.ico")[0].rows
        client = client_area(picture("position_empty.ico")[0].rows)
        mark = {(x, y) for x, y in client if full[y][x] == "K"}
        cx = (min(x for x, _ in mark) + max(x for x, _ in mark)) // 2
        cy = (min(y for _, y in mark) + max(y for _, y in mark)) // 2
        cursor = picture("drag.cur")[0]
        hx, hy = cursor.hotspot
        black = {(x, y) for y, row in enumerate(cursor.rows) for x, ch in enumerate(row)
                 if ch == "K"}
        self.assertEqual(black, {(x - cx + hx, y - cy + hy) for x, y in mark})

    def test_cursor_black_pixels_have_a_white_halo(self):
        for name in ("hover.cur", "drag.cur"):
            rows = picture(name)[0].rows
            with self.subTest(name):
                self.assertEqual(rows[8][8], "K", "hot spot not on the crosshair")
                for y, row in enumerate(rows):
                    for x, ch in enumerate(row):
                        if ch != "K":
                            continue
                        for dy in (-1, 0, 1):
                            for dx in (-1, 0, 1):
                                self.assertTrue(0 <= y + dy < 32 and 0 <= x + dx < 32)
                                self.assertNotEqual(rows[y + dy][x + dx], ".", f"({x},{y})")


class EncodingTest(unittest.TestCase):
    def test_odd_sizes_pack_and_pad_rows(self):
        # 5 pixels: half-byte colour rows and partial mask bytes, both padded to 32 bits.
        icon = make_art.parse_picture("size 5x3\nKnW.G\n.....\nWWWWW\n", "t.ico.txt", "ico")
        _, [(entry, rows)] = decode(make_art.encode_icon(icon))
        self.assertEqual(rows, ["KnW.G", ".....", "WWWWW"])
        text = "size 33x2 hotspot 32,1\n" + "KW." * 11 + "\n" + "." * 32 + "K\n"
        cursor = make_art.parse_picture(text, "t.cur.txt", "cur")
        _, [(entry, rows)] = decode(make_art.encode_cursor(cursor))
        self.assertEqual(rows, ["KW." * 11, "." * 32 + "K"])
        self.assertEqual((entry["f1"], entry["f2"]), (32, 1))

    def test_several_images_get_consecutive_offsets(self):
        text = "size 8x8\n" + ("K" * 8 + "\n") * 8 + "size 4x4\n" + ("W" * 4 + "\n") * 4
        _, images = decode(make_art.encode_icon(make_art.parse_picture(text, "t.ico.txt", "ico")))
        self.assertEqual([rows for _, rows in images], [["K" * 8] * 8, ["W" * 4] * 4])


class BadPictureTest(unittest.TestCase):
    CASES = [
        ("ico", "size 2x2\nKK\nK\n", "t:3: row has 1 pixels"),
        ("ico", "size 2x2\nKK\nKZ\n", "unknown pixel character(s) 'Z'"),
        ("cur", "size 2x2 hotspot 0,0\nKK\nKn\n", "unknown pixel character(s) 'n'"),
        ("cur", "size 2x2\nKK\nKK\n", "needs 'hotspot X,Y'"),
        ("cur", "size 2x2 hotspot 2,0\nKK\nKK\n", "outside the image"),
        ("ico", "size 2x2 hotspot 0,0\nKK\nKK\n", "no hot spot"),
        ("ico", "size 2x3\nKK\nKK\n", "has 2 rows, expected 3"),
        ("ico", "size 2x1\nKK\nKK\n", "more than 1 rows"),
        ("ico", "KK\n", "before the first 'size'"),
        ("ico", "size 0x4\n", "out of range"),
        ("ico", "size 2 x 2\n", "bad header"),
        ("ico", "# nothing\n", "no image"),
    ]

    def test_bad_pictures_are_reported_with_location(self):
        for kind, text, message in self.CASES:
            with self.subTest(text=text):
                with self.assertRaises(make_art.ArtError) as caught:
                    make_art.parse_picture(text, "t", kind)
                self.assertIn(message, str(caught.exception))


class CommandLineTest(unittest.TestCase):
    def setUp(self):
        self.tmp = Path(tempfile.mkdtemp())
        self.art = self.tmp / "art"
        shutil.copytree(make_art.ART_DIR, self.art)
        self.out = self.tmp / "out"
        self.out.mkdir()

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def run_main(self, *args):
        with redirect_stdout(io.StringIO()), redirect_stderr(io.StringIO()) as err:
            code = make_art.main(["--art-dir", str(self.art), "--out-dir", str(self.out), *args])
        return code, err.getvalue()

    def test_check_reports_missing_and_stale_files_without_writing(self):
        self.assertEqual(self.run_main("--check")[0], 1)
        self.assertEqual(list(self.out.iterdir()), [])
        self.assertEqual(self.run_main()[0], 0)
        self.assertEqual(sorted(p.name for p in self.out.iterdir()), sorted(OUTPUTS))
        self.assertEqual(self.run_main("--check")[0], 0)

        stale = self.out / "drag.cur"
        stale.write_bytes(stale.read_bytes()[:-1] + b"\x00")
        code, err = self.run_main("--check")
        self.assertEqual(code, 1)
        self.assertIn("drag.cur", err)
        self.assertNotIn("hover.cur", err)

    def test_output_matches_committed_binaries(self):
        self.run_main()
        for name in OUTPUTS:
            self.assertEqual((self.out / name).read_bytes(), (make_art.OUT_DIR / name).read_bytes())

    def test_bad_picture_fails_cleanly_and_writes_nothing(self):
        picture_path = self.art / "hover.cur.txt"
        picture_path.write_text(picture_path.read_text().replace("WKW", "WXW", 1))
        code, err = self.run_main()
        self.assertEqual(code, 2)
        self.assertIn("hover.cur.txt:", err)
        self.assertEqual(list(self.out.iterdir()), [])

    def test_unknown_picture_name_is_rejected(self):
        (self.art / "notes.txt").write_text("size 1x1\nK\n")
        code, err = self.run_main()
        self.assertEqual(code, 2)
        self.assertIn("notes.txt", err)


if __name__ == "__main__":
    unittest.main()
