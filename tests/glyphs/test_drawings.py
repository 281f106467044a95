#!/usr/bin/env python3
"""The glyph table generator refuses malformed drawings and names the glyph,
the same way for the build and for a table file; a table file made from a
copy of the drawings differs from the built-in table only where they do.

Usage: test_drawings.py PATH/TO/make_glyph_table.py [DRAWINGS_DIR VOREN_GLYPHS]
"""

import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

GENERATOR = None
DRAWINGS = None  # the drawings the build uses, and voren-glyphs holding their table
VOREN_GLYPHS = None
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
            r = generate(str(d), str(d / "t.cpp"), str(d / "cp.inc"))
            cpp = (d / "t.cpp").read_text() if (d / "t.cpp").exists() else None
            # A table file left from an earlier run must not outlive a failed one.
            (d / "t.bin").write_bytes(b"stale")
            f = generate("--table", str(d / "t.bin"), str(d))
            table = (d / "t.bin").read_bytes() if (d / "t.bin").exists() else None
            return (r.returncode, r.stderr, cpp), (f.returncode, f.stderr, table)


def generate(*args):
    return subprocess.run([sys.executable, GENERATOR, *args], capture_output=True, text=True)


def cpp_bytes(cpp):
    return bytes(int(b, 16) for b in re.findall(r"0x([0-9A-F]{2})", cpp.split("kTable{", 1)[1]))


class MalformedDrawings(unittest.TestCase):
    def refused(self, drawings, *words):
        (code, err, cpp), (file_code, file_err, table) = drawings.run()
        self.assertNotEqual(code, 0)
        self.assertIsNone(cpp)
        for w in words:
            self.assertIn(w, err)
        self.assertEqual(file_code, code)
        self.assertEqual(file_err, err)
        self.assertIsNone(table)

    def test_complete_drawings_build(self):
        (code, err, cpp), (file_code, file_err, table) = Drawings().run()
        self.assertEqual(code, 0, err)
        self.assertEqual(file_code, 0, file_err)
        self.assertEqual(len(table), 36864)
        self.assertEqual(cpp_bytes(cpp), table)

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


class UsageErrors(unittest.TestCase):
    """Arguments that cannot be meant: one line, status 2, and the table file
    that was there before still there as it was."""

    def test_wrong_arguments_and_folders_that_hold_no_drawings(self):
        rows = [
            # (what, arguments, what the line names)
            ("swapped", ["--table", "{drawings}", "{keep}"], "arguments swapped"),
            ("missing argument", ["--table", "{keep}"], "DRAWINGS_DIR missing"),
            ("missing folder", ["--table", "{keep}", "{root}/drawingz"], "'{root}/drawingz'"),
            ("no normal/", ["--table", "{keep}", "{root}/wide-only"], "no normal/"),
            ("unknown option", ["--tabel", "{keep}", "{drawings}"], "'--tabel'"),
            ("build form, missing folder", ["{root}/drawingz", "{root}/t.cpp", "{root}/cp.inc"],
             "'{root}/drawingz'"),
        ]
        for what, arguments, named in rows:
            with self.subTest(what), tempfile.TemporaryDirectory() as root:
                places = {"root": root, "keep": f"{root}/keep.bin", "drawings": f"{root}/my-font"}
                Path(places["keep"]).write_bytes(b"an earlier table")
                (Path(places["drawings"]) / "normal").mkdir(parents=True)
                (Path(root) / "wide-only" / "wide").mkdir(parents=True)
                before = sorted(str(p) for p in Path(root).rglob("*"))
                r = generate(*(a.format(**places) for a in arguments))
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertEqual(r.stderr.count("\n"), 1, r.stderr)
                self.assertIn(named.format(**places), r.stderr)
                self.assertIn("usage:", r.stderr)
                self.assertEqual(Path(places["keep"]).read_bytes(), b"an earlier table")
                self.assertEqual(sorted(str(p) for p in Path(root).rglob("*")), before)


def glyph_index(bank, code):
    return 256 * bank + code


def wide_halves(c):
    bank, pair = (1, 2 * c) if c < 0x80 else (2, 2 * (c - 0x80))
    return {glyph_index(bank, pair), glyph_index(bank, pair + 1)}


def fill_top_row(directory, code):
    header = f"0x{code:02X} U+"
    for path in directory.glob("*.txt"):
        lines = path.read_text(encoding="utf-8").split("\n")
        for i, line in enumerate(lines):
            if line.startswith(header):
                lines[i + 1] = "#" * 10
                path.write_text("\n".join(lines), encoding="utf-8")
                return
    raise AssertionError(f"no drawing of glyph 0x{code:02X}")


class CopiedDrawings(unittest.TestCase):
    """An operator's own font: a copy of the drawings with one glyph redrawn."""

    @classmethod
    def setUpClass(cls):
        if VOREN_GLYPHS is None:
            raise unittest.SkipTest("needs the drawings and voren-glyphs (native build)")
        with tempfile.TemporaryDirectory() as d:
            raw = Path(d) / "built-in.bin"
            subprocess.run([VOREN_GLYPHS, "--raw", str(raw)], check=True)
            cls.built_in = raw.read_bytes()

    def table_from_copy(self, filled_top_row=None):
        with tempfile.TemporaryDirectory() as d:
            copy = Path(d) / "my-font"
            shutil.copytree(DRAWINGS, copy)
            if filled_top_row is not None:
                fill_top_row(copy / "normal", filled_top_row)
            r = generate("--table", str(Path(d) / "my-font.bin"), str(copy))
            self.assertEqual(r.returncode, 0, r.stderr)
            return (Path(d) / "my-font.bin").read_bytes()

    def changed_glyphs(self, table):
        self.assertEqual(len(table), 36864)
        glyph = lambda t, g: t[48 * g:48 * g + 48]
        return {g for g in range(768) if glyph(table, g) != glyph(self.built_in, g)}

    def test_unchanged_copy_makes_the_built_in_table(self):
        self.assertEqual(self.table_from_copy(), self.built_in)

    def test_a_redrawn_glyph_changes_it_and_its_derived_double_width_forms_only(self):
        cases = {
            0x24: {0x24} | wide_halves(0x24),  # '$', widened
            0xA5: {0xA5} | wide_halves(0xA5),  # 'ą', in bank 2
            0x02: {0x02} | wide_halves(0x02),  # small '2', grown tall
            0x21: {0x21, min(wide_halves(0x21))},  # '!', right half stays blank
            0x25: {0x25},  # '%' is drawn by hand in double width
        }
        for code, expected in cases.items():
            with self.subTest(glyph=f"0x{code:02X}"):
                table = self.table_from_copy(filled_top_row=code)
                self.assertEqual(self.changed_glyphs(table), expected)
                # Dots 0 to 9 of the top row, in every glyph that changed.
                for g in expected:
                    self.assertEqual(table[48 * g:48 * g + 2], b"\xFF\xC0")


if __name__ == "__main__":
    GENERATOR = sys.argv.pop(1)
    if len(sys.argv) > 2:
        DRAWINGS, VOREN_GLYPHS = Path(sys.argv.pop(1)), sys.argv.pop(1)
    unittest.main()
