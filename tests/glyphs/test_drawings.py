#!/usr/bin/env python3
"""The glyph table generator refuses malformed drawings and names the glyph.

Usage: test_drawings.py PATH/TO/make_glyph_table.py
"""

import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

GENERATOR = None
EMPTY = "." * 10


def drawing(code, rows=None, header=None):
    rows = rows if rows is not None else [EMPTY] * 24
    return "\n".join([header or f"0x{code:02X} U+{0x100 + code:04X} {chr(0x100 + code)}"] + rows)


class Drawings:
    """A complete set of normal drawings that a test then spoils."""

    def __init__(self):
        self.glyphs = {c: drawing(c) for c in range(256)}
        self.extra = []
        self.wide = []

    def run(self):
        with tempfile.TemporaryDirectory() as d:
            d = Path(d)
            (d / "normal").mkdir()
            (d / "wide").mkdir()
            text = "\n\n".join(list(self.glyphs.values()) + self.extra) + "\n"
            (d / "normal" / "all.txt").write_text(text, encoding="utf-8")
            (d / "wide" / "w.txt").write_text("\n\n".join(self.wide) + "\n", encoding="utf-8")
            r = subprocess.run([sys.executable, GENERATOR, str(d), str(d / "t.cpp"),
                                str(d / "cp.inc")], capture_output=True, text=True)
            table = (d / "t.cpp").read_text() if (d / "t.cpp").exists() else None
            return r.returncode, r.stderr, table


class MalformedDrawings(unittest.TestCase):
    def refused(self, drawings, *words):
        code, err, table = drawings.run()
        self.assertNotEqual(code, 0)
        self.assertIsNone(table)
        for w in words:
            self.assertIn(w, err)

    def test_complete_drawings_build(self):
        code, err, table = Drawings().run()
        self.assertEqual(code, 0, err)
        self.assertEqual(table.count("0x"), 36864)

    def test_row_of_wrong_width(self):
        d = Drawings()
        d.glyphs[0x41] = drawing(0x41, [EMPTY] * 5 + ["....#....."[:9]] + [EMPTY] * 18)
        self.refused(d, "glyph 0x41", "row 5", "9 cells")

    def test_too_few_and_too_many_rows(self):
        d = Drawings()
        d.glyphs[0x42] = drawing(0x42, [EMPTY] * 23)
        self.refused(d, "glyph 0x42", "23 rows")
        d = Drawings()
        d.glyphs[0x43] = drawing(0x43, [EMPTY] * 25)
        self.refused(d, "glyph 0x43", "more than 24 rows")

    def test_unknown_character(self):
        d = Drawings()
        d.glyphs[0xA5] = drawing(0xA5, [EMPTY] * 20 + ["....o....."] + [EMPTY] * 3)
        self.refused(d, "glyph 0xA5", "'o'")

    def test_duplicate_and_missing_code(self):
        d = Drawings()
        d.extra.append(drawing(0x10))
        self.refused(d, "glyph 0x10", "twice")
        d = Drawings()
        del d.glyphs[0x7F]
        self.refused(d, "glyph 0x7F", "not drawn")

    def test_header_that_disagrees_with_itself(self):
        d = Drawings()
        d.glyphs[0x20] = drawing(0x20, header="0x20 U+0041 B")
        self.refused(d, "glyph 0x20", "U+0041")
        d = Drawings()
        d.glyphs[0x21] = drawing(0x21, header="0x21 Ą")
        self.refused(d, "0x21 Ą")

    def test_wide_drawing_of_wrong_width_or_for_a_blank(self):
        d = Drawings()
        d.wide.append(drawing(0x41, [EMPTY] * 24))
        self.refused(d, "glyph 0x41", "not 20")
        d = Drawings()
        d.wide.append(drawing(0x20, [EMPTY * 2] * 24))
        self.refused(d, "glyph 0x20", "blank in double width")


if __name__ == "__main__":
    GENERATOR = sys.argv.pop(1)
    unittest.main()
