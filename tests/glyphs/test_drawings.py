#!/usr/bin/env python3
"""The glyph table generator refuses malformed drawings and names the glyph,
the same way for the build and for a table file; a table file made from a
copy of the drawings differs from the built-in table only where they do.

Usage: test_drawings.py PATH/TO/make_glyph_table.py [DRAWINGS_DIR VOREN_GLYPHS]
"""

import contextlib
import importlib.util
import io
import os
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

    def __init__(self, encoding="utf-8"):
        self.glyphs = {c: drawing(c) for c in range(256)}
        self.extra = []
        self.wide = []
        self.encoding = encoding
        self.spoil = lambda folder: None  # puts something else beside the drawings

    def run(self):
        with tempfile.TemporaryDirectory() as out:
            out = Path(out)
            d = out / "drawings"
            (d / "normal").mkdir(parents=True)
            (d / "wide").mkdir()
            text = "\n\n".join(list(self.glyphs.values()) + self.extra) + "\n"
            (d / "normal" / "all.txt").write_text(text, encoding=self.encoding)
            (d / "wide" / "w.txt").write_text("\n\n".join(self.wide) + "\n", encoding="utf-8")
            self.spoil(d)
            r = generate(str(d), str(out / "t.cpp"), str(out / "cp.inc"))
            cpp = (out / "t.cpp").read_text() if (out / "t.cpp").exists() else None
            # A table file left from an earlier run must not outlive a failed one.
            (out / "t.bin").write_bytes(b"stale")
            f = generate("--table", str(out / "t.bin"), str(d))
            table = (out / "t.bin").read_bytes() if (out / "t.bin").exists() else None
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
        self.assertEqual(err.count("\n"), 1, err)
        self.assertEqual(file_code, code)
        self.assertEqual(file_err, err)
        self.assertIsNone(table)

    def test_complete_drawings_build(self):
        (code, err, cpp), (file_code, file_err, table) = Drawings().run()
        self.assertEqual(code, 0, err)
        self.assertEqual(file_code, 0, file_err)
        self.assertEqual(len(table), 36864)
        self.assertEqual(cpp_bytes(cpp), table)
        # Notepad's "UTF-8 with BOM": the mark before the first header is no character.
        (code, err, _), (_, _, marked) = Drawings(encoding="utf-8-sig").run()
        self.assertEqual(code, 0, err)
        self.assertEqual(marked, table)

    def test_files_that_hold_no_drawing_text(self):
        def folder(d):
            (d / "normal" / "x.txt").mkdir()

        def big(d):
            (d / "wide" / "big.txt").write_bytes(b"\n" * (1 << 21))

        def zero(d):
            (d / "normal" / "z.txt").symlink_to("/dev/zero")

        def pipe(d):
            os.mkfifo(d / "wide" / "p.txt")

        def ansi(d):
            # Notepad's "ANSI": code page 1250, where 'ż' is the byte 0xBF.
            (d / "wide" / "ansi.txt").write_bytes("; a comment\n; Zażółć\n".encode("cp1250"))

        def marked_ansi(d):
            # The byte-order mark is skipped, but counts where the bad byte is.
            (d / "wide" / "ansi.txt").write_bytes(b"\xEF\xBB\xBF; a\n; \xBF\n")

        def locked(d):
            (d / "normal").chmod(0)

        def wide_file(d):
            # The hand drawings would be left out without a word.
            shutil.rmtree(d / "wide")
            (d / "wide").write_text("0x25 U+0025 %\n")

        def wide_link_to_nothing(d):
            shutil.rmtree(d / "wide")
            (d / "wide").symlink_to(d / "wide-drawings")

        rows = [(folder, ["x.txt", "a folder"]), (big, ["big.txt", "too big"]),
                (ansi, ["ansi.txt:2", "0xBF", "not UTF-8"]),
                (marked_ansi, ["ansi.txt:2", "0xBF", "not UTF-8"]),
                (wide_file, ["wide", "a file, not a folder"]),
                (wide_link_to_nothing, ["wide", "a link to nothing"])]
        if os.name == "posix":
            rows += [(zero, ["z.txt", "a character device"]), (pipe, ["p.txt", "a named pipe"])]
        if os.name == "posix" and os.geteuid() != 0:  # root lists any folder
            rows += [(locked, ["normal", "cannot read the folder", "ermission denied"])]
        for spoil, words in rows:
            with self.subTest(spoil.__name__):
                d = Drawings()
                d.spoil = spoil
                self.refused(d, *words)

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


def snapshot(root):
    """Every path under root, with the bytes of each regular file."""
    return {str(p): p.read_bytes() if p.is_file() and not p.is_symlink() else None
            for p in Path(root).rglob("*")}


class UsageErrors(unittest.TestCase):
    """Arguments that cannot be meant: one line, status 2, and every file that
    was there before (the old table, the drawings) still there as it was."""

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
            # The output never goes among the drawings, whatever it is called.
            ("a drawing as the output", ["--table", "{drawings}/normal/00-1f.txt", "{drawings}"],
             "is the drawing file"),
            ("the drawings through a link", ["--table", "{root}/font-link/t.bin", "{drawings}"],
             "inside the drawings folder"),
            ("a link to a drawing", ["--table", "{root}/alias.bin", "{drawings}"],
             "is the drawing file"),
            ("a link to a file among the drawings", ["--table", "{root}/into.bin", "{drawings}"],
             "inside the drawings folder"),
            ("build form into the drawings", ["{drawings}", "{drawings}/t.cpp", "{root}/cp.inc"],
             "OUT_CPP '{drawings}/t.cpp' is inside"),
            ("a folder as the output", ["--table", "{root}/wide-only", "{drawings}"], "a folder"),
            # Not /dev/null: were the check gone, a root run would replace the device.
            ("a pipe as the output", ["--table", "{root}/pipe", "{drawings}"], "a named pipe"),
            # A name the system cannot look at is refused with its reason, not a traceback.
            ("a name too long", ["--table", "{root}/" + "t" * 300, "{drawings}"], "too long"),
            ("a drawings folder named too long", ["--table", "{keep}", "{root}/" + "d" * 300],
             "too long"),
        ]
        for what, arguments, named in rows:
            with self.subTest(what), tempfile.TemporaryDirectory() as root:
                places = {"root": root, "keep": f"{root}/keep.bin", "drawings": f"{root}/my-font"}
                Path(places["keep"]).write_bytes(b"an earlier table")
                (Path(places["drawings"]) / "normal").mkdir(parents=True)
                (Path(places["drawings"]) / "normal" / "00-1f.txt").write_text("a drawing")
                (Path(root) / "wide-only" / "wide").mkdir(parents=True)
                (Path(root) / "font-link").symlink_to(places["drawings"])
                (Path(root) / "alias.bin").symlink_to(f"{places['drawings']}/normal/00-1f.txt")
                (Path(places["drawings"]) / "notes.bin").write_text("the author's notes")
                (Path(root) / "into.bin").symlink_to(f"{places['drawings']}/notes.bin")
                os.mkfifo(Path(root) / "pipe")
                before = snapshot(root)
                r = generate(*(a.format(**places) for a in arguments))
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertEqual(r.stderr.count("\n"), 1, r.stderr)
                self.assertIn(named.format(**places), r.stderr)
                self.assertIn("usage:", r.stderr)
                self.assertEqual(snapshot(root), before)


class ReplacedTable(unittest.TestCase):
    """A new table replaces the file the operator named, where it is: through a
    link, keeping its permissions, and not when the operator may not write it."""

    def test_the_table_is_replaced_where_it_is(self):
        with tempfile.TemporaryDirectory() as root:
            shared = Path(root) / "shared"
            shared.mkdir()
            (shared / "shop.bin").write_bytes(b"an earlier table")
            (shared / "shop.bin").chmod(0o640)
            (Path(root) / "my-font.bin").symlink_to(shared / "shop.bin")
            drawings = str(Path(GENERATOR).parent / "drawings")
            r = generate("--table", f"{root}/my-font.bin", drawings)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertTrue((Path(root) / "my-font.bin").is_symlink())
            self.assertEqual(len((shared / "shop.bin").read_bytes()), 36864)
            self.assertEqual((shared / "shop.bin").stat().st_mode & 0o777, 0o640)
            self.assertEqual(sorted(os.listdir(shared)), ["shop.bin"])
            if os.name == "posix" and os.geteuid() != 0:  # root may write any file
                (shared / "shop.bin").chmod(0o444)
                r = generate("--table", f"{root}/my-font.bin", drawings)
                self.assertEqual(r.returncode, 1, r.stderr)
                self.assertIn("ermission denied", r.stderr)
                self.assertEqual(sorted(os.listdir(shared)), ["shop.bin"])


class InterruptedWrite(unittest.TestCase):
    """Ctrl-C (or a full disk) while the table is written leaves the old table
    whole and no temporary file beside it."""

    def test_the_old_table_stays_whole(self):
        found = importlib.util.spec_from_file_location("make_glyph_table", GENERATOR)
        generator = importlib.util.module_from_spec(found)
        found.loader.exec_module(generator)
        for stop in (KeyboardInterrupt(), OSError(28, "No space left on device")):
            with self.subTest(type(stop).__name__), tempfile.TemporaryDirectory() as d:
                table = Path(d) / "t.bin"
                table.write_bytes(b"an earlier table")

                def fails(_fd):
                    raise stop

                real_fsync, generator.os.fsync = generator.os.fsync, fails
                try:
                    with contextlib.redirect_stderr(io.StringIO()) as err:
                        self.assertFalse(generator.write_whole(table, b"new" * 12288))
                    self.assertIn("cannot write", err.getvalue())
                except KeyboardInterrupt:
                    pass
                finally:
                    generator.os.fsync = real_fsync
                self.assertEqual(table.read_bytes(), b"an earlier table")
                self.assertEqual(os.listdir(d), ["t.bin"])


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
