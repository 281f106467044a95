#!/usr/bin/env python3
"""Turns the glyph drawings into the printer's 36,864-byte glyph table.

Usage: make_glyph_table.py DRAWINGS_DIR OUT_CPP OUT_CODEPOINTS
       make_glyph_table.py --table OUT_BIN DRAWINGS_DIR

DRAWINGS_DIR/normal/*.txt hold the 256 normal glyphs, 10 cells wide.
DRAWINGS_DIR/wide/*.txt hold hand-drawn double-width characters, 20 cells
wide; every other double-width character is derived from its normal glyph
(see widen()). A drawing is a header line, then 24 rows:

    0x41 U+0041 A
    ....##....
    ...

'#' is a dot, '.' is none. The header gives the character code and the
Unicode character it stands for ("none" for the blank control codes).
Lines starting with ';' are comments; blank lines separate drawings.

OUT_CPP gets voren::glyphTable(); OUT_CODEPOINTS gets the code-to-character
list of the normal bank, for the tests. The build uses the first form.

The second form writes the bare 36,864 bytes, for an operator's own font
made from a copy of the drawings (voren-glyphs --table draws it, voren-cp852
--font uploads it). Malformed drawings leave no OUT_BIN behind, not even one
from an earlier run, so a stale font cannot be uploaded by mistake. A
command line that cannot be meant (an argument missing, the two swapped, a
folder with no normal/ in it, an output that is a folder, a device or a
place inside the drawings folder) is refused in one line with status 2,
before anything is written or removed.

A drawing file is read as UTF-8 (a byte-order mark is allowed) and must be
a regular file of at most MAX_DRAWING_FILE bytes. Every output is written to
a temporary file beside it and renamed, so an interrupted run leaves either
the old file or the new one, never half of one. A link is written through,
and an existing file keeps its permissions.
"""

import errno
import fnmatch
import os
import re
import signal
import stat
import sys
import tempfile
from pathlib import Path

ROWS = 24
NARROW = 10
WIDE = 20
# The largest drawing file is under 40 kB; a bigger one is no drawing.
MAX_DRAWING_FILE = 1 << 20
BYTE_ORDER_MARK = b"\xEF\xBB\xBF"
HEADER = re.compile(r"^0x([0-9A-Fa-f]{2}) (?:U\+([0-9A-Fa-f]{4,6})(?: (.+))?|(none))$")

# Double-width characters with both halves blank: the control codes that
# carry no glyph, and the space.
WIDE_BLANK = set(range(0x0A, 0x18)) | set(range(0x1A, 0x21))
# Narrow punctuation keeps its normal glyph in the left half, right half blank.
WIDE_NARROW = {0x21, 0x27, 0x2C, 0x2D, 0x2E, 0x3A, 0x3B}
# The small digits grow into full-height digits in double width.
WIDE_TALL = set(range(0x00, 0x0A))


class DrawingError(Exception):
    pass


class Glyph:
    def __init__(self, code, codepoint, rows, where):
        self.code = code
        self.codepoint = codepoint
        self.rows = rows  # list of ROWS lists of bools
        self.where = where


def kind_of(mode):
    """What a file that is not a regular file is, for a refusal."""
    kinds = [(stat.S_ISDIR, "a folder"), (stat.S_ISFIFO, "a named pipe"),
             (stat.S_ISCHR, "a character device"), (stat.S_ISBLK, "a block device"),
             (stat.S_ISSOCK, "a socket")]
    return next((name for test, name in kinds if test(mode)), "no regular file")


def read_drawing_text(path):
    """The text of a drawing file. Its kind and size are checked before a byte
    is read: a link to /dev/zero or a pipe must not hang the build."""
    try:
        mode = os.stat(path).st_mode
        if not stat.S_ISREG(mode):
            raise DrawingError(f"{path.name}: {kind_of(mode)}, not a drawing file")
        # Non-blocking: a pipe put in place after the check must not hang the open.
        fd = os.open(path, os.O_RDONLY | getattr(os, "O_NONBLOCK", 0) | getattr(os, "O_BINARY", 0))
        with os.fdopen(fd, "rb") as f:
            mode = os.fstat(f.fileno()).st_mode
            if not stat.S_ISREG(mode):
                raise DrawingError(f"{path.name}: {kind_of(mode)}, not a drawing file")
            data = f.read(MAX_DRAWING_FILE + 1)
    except OSError as e:
        raise DrawingError(f"{path.name}: cannot read it: {e.strerror}") from None
    if len(data) > MAX_DRAWING_FILE:
        raise DrawingError(f"{path.name}: more than {MAX_DRAWING_FILE} bytes, too big "
                           f"for a drawing file")
    # Notepad's "UTF-8 with BOM" puts an invisible mark first; it is skipped
    # here rather than by the decoder, so a bad byte is still found by its place.
    start = len(BYTE_ORDER_MARK) if data.startswith(BYTE_ORDER_MARK) else 0
    try:
        return data[start:].decode("utf-8")
    except UnicodeDecodeError as e:
        at = start + e.start
        line = data.count(b"\n", 0, at) + 1
        raise DrawingError(f"{path.name}:{line}: byte 0x{data[at]:02X} is not UTF-8; "
                           f"save the drawings as UTF-8") from None


def parse_file(path, width):
    """Yields the glyphs of one drawing file; raises DrawingError naming the glyph."""
    lines = read_drawing_text(path).splitlines()
    i = 0
    while i < len(lines):
        line = lines[i].rstrip()
        if not line or line.startswith(";"):
            i += 1
            continue
        where = f"{path.name}:{i + 1}"
        m = HEADER.match(line)
        if not m:
            raise DrawingError(f"{where}: expected a header like '0x41 U+0041 A', got '{line}'")
        code = int(m.group(1), 16)
        name = f"glyph 0x{code:02X}"
        if m.group(4):
            codepoint = None
        else:
            codepoint = int(m.group(2), 16)
            shown = m.group(3)
            if shown is not None and codepoint >= 0x21 and shown != chr(codepoint):
                raise DrawingError(
                    f"{where}: {name}: header shows '{shown}' but names U+{codepoint:04X}")
        rows = []
        i += 1
        while i < len(lines) and lines[i].strip() and not lines[i].startswith(";"):
            text = lines[i].rstrip()
            if len(rows) == ROWS:
                raise DrawingError(f"{path.name}:{i + 1}: {name}: more than {ROWS} rows")
            if len(text) != width:
                raise DrawingError(f"{path.name}:{i + 1}: {name}: row {len(rows)} is "
                                   f"{len(text)} cells wide, not {width}")
            bad = set(text) - {"#", "."}
            if bad:
                raise DrawingError(f"{path.name}:{i + 1}: {name}: row {len(rows)} has "
                                   f"'{sorted(bad)[0]}'; only '#' and '.' are allowed")
            rows.append([c == "#" for c in text])
            i += 1
        if len(rows) != ROWS:
            raise DrawingError(f"{where}: {name}: {len(rows)} rows, not {ROWS}")
        yield Glyph(code, codepoint, rows, where)


def drawing_files_in(directory):
    """The *.txt files of one drawings folder. A folder that cannot be listed
    is said so, not taken for an empty one."""
    try:
        names = os.listdir(directory)
    except OSError as e:
        raise DrawingError(f"{directory}: cannot read the folder: {e.strerror}") from None
    return sorted(directory / n for n in names if fnmatch.fnmatch(n, "*.txt"))


def load(directory, width, required):
    glyphs = {}
    for path in drawing_files_in(directory):
        for g in parse_file(path, width):
            if g.code in glyphs:
                raise DrawingError(f"{g.where}: glyph 0x{g.code:02X} drawn twice "
                                   f"(first at {glyphs[g.code].where})")
            glyphs[g.code] = g
    if required:
        missing = [c for c in range(256) if c not in glyphs]
        if missing:
            listed = ", ".join(f"0x{c:02X}" for c in missing[:8])
            more = "" if len(missing) <= 8 else f" and {len(missing) - 8} more"
            raise DrawingError(f"{directory}: glyph {listed}{more} not drawn")
    return glyphs


def blank(width):
    return [[False] * width for _ in range(ROWS)]


def widen_row(row):
    """Dot x goes to 2x; the gap between two neighbouring dots is filled, so a
    run of n dots becomes 2n - 1 wide and strokes stay centred. A line that
    reaches the right edge is carried on to the new edge so it joins."""
    out = [False] * WIDE
    for x, on in enumerate(row):
        if on:
            out[2 * x] = True
            if x + 1 < NARROW and row[x + 1]:
                out[2 * x + 1] = True
    if row[NARROW - 1]:
        out[WIDE - 1] = True
    return out


def widen(rows):
    return [widen_row(r) for r in rows]


def stretch_tall(rows):
    """The small digits (rows 0 to 11) doubled downwards as well as across."""
    tall = []
    for r in rows[: ROWS // 2]:
        tall += [r, r]
    return widen(tall)


def double_width(code, normal, wide):
    """The 20-dot drawing of character `code` in double width."""
    if code in WIDE_BLANK:
        return blank(WIDE)
    if code in wide:
        return wide[code].rows
    rows = normal[code].rows
    if code in WIDE_NARROW:
        return [r + [False] * NARROW for r in rows]
    if code in WIDE_TALL:
        return stretch_tall(rows)
    return widen(rows)


def glyph_bytes(rows):
    out = bytearray()
    for r in rows:
        word = 0
        for x, on in enumerate(r):
            if on:
                word |= 0x8000 >> x
        out += bytes([word >> 8, word & 0xFF])
    return out


def wide_folder(drawings):
    """drawings/wide, or None when there is none. Anything else of that name is
    refused: taken for no folder, it would leave the hand drawings out unsaid."""
    wide = drawings / "wide"
    try:
        mode = os.stat(wide).st_mode
    except FileNotFoundError:
        if not os.path.islink(wide):
            return None
        raise DrawingError(f"{wide}: a link to nothing, not a folder of drawings") from None
    except OSError as e:
        raise DrawingError(f"{wide}: {e.strerror}") from None
    if not stat.S_ISDIR(mode):
        kind = "a file" if stat.S_ISREG(mode) else kind_of(mode)
        raise DrawingError(f"{wide}: {kind}, not a folder of drawings")
    return wide


def build(drawings):
    normal = load(drawings / "normal", NARROW, required=True)
    wide_drawings = wide_folder(drawings)
    wide = load(wide_drawings, WIDE, required=False) if wide_drawings else {}
    for code, g in wide.items():
        if code in WIDE_BLANK:
            raise DrawingError(f"{g.where}: glyph 0x{code:02X} is blank in double width "
                               f"and must not be drawn there")
        if g.codepoint != normal[code].codepoint:
            raise DrawingError(f"{g.where}: glyph 0x{code:02X} stands for another character "
                               f"than its normal glyph")
    table = bytearray()
    for code in range(256):
        table += glyph_bytes(normal[code].rows)
    for first in (0x00, 0x80):
        for code in range(first, first + 0x80):
            rows = double_width(code, normal, wide)
            table += glyph_bytes([r[:NARROW] for r in rows])
            table += glyph_bytes([r[NARROW:] for r in rows])
    assert len(table) == 36864
    return table, normal


def cpp_text(table):
    lines = [
        "// Generated from the glyph drawings by make_glyph_table.py; edit the drawings.",
        '#include "app/glyph_table.h"',
        "",
        "namespace voren {",
        "",
        "namespace {",
        "constexpr std::array<std::uint8_t, kGlyphTableSize> kTable{",
    ]
    for off in range(0, len(table), 16):
        lines.append("    " + ", ".join(f"0x{b:02X}" for b in table[off:off + 16]) + ",")
    lines += [
        "};",
        "}  // namespace",
        "",
        "const std::array<std::uint8_t, kGlyphTableSize>& glyphTable() { return kTable; }",
        "",
        "}  // namespace voren",
        "",
    ]
    return "\n".join(lines)


def codepoints_text(normal):
    lines = ["// Generated by make_glyph_table.py: code, Unicode character (-1: none)."]
    for code in range(256):
        cp = normal[code].codepoint
        lines.append(f"{{0x{code:02X}, {-1 if cp is None else f'0x{cp:04X}'}}},")
    return "\n".join(lines) + "\n"


def write_whole(path, data):
    """Whole or not at all: the bytes go to a new temporary file beside `path`,
    which is renamed over it only when every byte is on the disk. A link is
    followed, so the file it names is replaced and the link stays; an
    existing file keeps its permissions, and one the user may not write is
    left alone, as writing into it would be."""
    place = Path(os.path.realpath(path))
    temporary = None
    try:
        try:
            mode = stat.S_IMODE(os.stat(place).st_mode)
            if not os.access(place, os.W_OK):
                raise PermissionError(errno.EACCES, os.strerror(errno.EACCES))
        except FileNotFoundError:
            umask = os.umask(0)
            os.umask(umask)
            mode = 0o666 & ~umask
        fd, temporary = tempfile.mkstemp(dir=place.parent, prefix=f".{place.name}.", suffix=".tmp")
        with os.fdopen(fd, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.chmod(temporary, mode)  # mkstemp makes it private
        os.replace(temporary, place)
    except BaseException as e:
        if temporary:
            Path(temporary).unlink(missing_ok=True)
        if not isinstance(e, OSError):
            raise
        print(f"glyph table: cannot write {path}: {e.strerror}", file=sys.stderr)
        return False
    return True


def drawing_files(drawings):
    files = []
    for sub in ("normal", "wide"):
        try:
            files += drawing_files_in(drawings / sub)
        except DrawingError:
            pass  # the build names a folder it cannot read
    return files


def output_problem(name, out, drawings):
    """Why `out` cannot be written, or None. The drawings folder is compared
    by identity, so a link to it, '..' or a second mount of it is caught too."""
    if not out or out.endswith(("/", os.sep)):
        return f"{name} '{out}' names no file"
    try:
        target = os.stat(out)
    except FileNotFoundError:
        target = None
    except OSError as e:
        return f"{name} '{out}': {e.strerror}"
    if target is not None and not stat.S_ISREG(target.st_mode):
        return f"{name} '{out}': {kind_of(target.st_mode)}, not a file to write"
    if target is not None:
        for p in drawing_files(drawings):
            try:
                if os.path.samestat(os.stat(p), target):
                    return f"{name} '{out}' is the drawing file '{p}'"
            except OSError:
                pass
    folder = os.stat(drawings)
    # Where the table goes: a link is written through (write_whole).
    place = Path(os.path.realpath(out)).parent
    for p in [place, *place.parents]:
        try:
            if os.path.samestat(os.stat(p), folder):
                return f"{name} '{out}' is inside the drawings folder '{drawings}'"
        except OSError:
            pass  # a folder that is not there: writing will say so
    return None


def is_folder(path):
    """Whether path is a folder; one that cannot be looked at is none."""
    try:
        return stat.S_ISDIR(os.stat(path).st_mode)
    except OSError:
        return False


def folder_problem(drawings):
    """Why `drawings` holds no drawings to read, or None; the system's reason
    (a name too long, permission denied) rather than a traceback."""
    for folder, missing in ((drawings, "no such folder"), (drawings / "normal", "no normal/ in it")):
        try:
            mode = os.stat(folder).st_mode
        except FileNotFoundError:
            return missing
        except OSError as e:
            return e.strerror if folder == drawings else f"normal/: {e.strerror}"
        if not stat.S_ISDIR(mode):
            return "not a folder" if folder == drawings else "normal/ in it is not a folder"
    return None


def usage_error(argv):
    """What is wrong with the command line, or None. Checked before anything
    is written or removed: a mistyped command must not cost the old table."""
    args = argv[1:]
    if not args:
        return "no arguments"
    if args[0] == "--table":
        names, operands = ["OUT_BIN", "DRAWINGS_DIR"], args[1:]
    elif args[0].startswith("-"):
        return f"unknown option '{args[0]}'"
    elif len(args) == 2:
        return "--table missing"
    else:
        names, operands = ["DRAWINGS_DIR", "OUT_CPP", "OUT_CODEPOINTS"], args
    if len(operands) < len(names):
        return " and ".join(names[len(operands):]) + " missing"
    if len(operands) > len(names):
        return f"one argument too many: '{operands[len(names)]}'"
    drawings = Path(operands[names.index("DRAWINGS_DIR")])
    problem = folder_problem(drawings)
    if names[0] == "OUT_BIN" and problem and is_folder(Path(operands[0]) / "normal"):
        return f"arguments swapped: OUT_BIN comes first, then DRAWINGS_DIR '{operands[0]}'"
    if problem:
        return f"drawings folder '{drawings}': {problem}"
    for name, out in zip(names, operands):
        problem = None if name == "DRAWINGS_DIR" else output_problem(name, out, drawings)
        if problem:
            return problem
    return None


def stop_on_signal(signum, _frame):
    # Unwinds through write_whole, which removes its temporary file.
    raise SystemExit(128 + signum)


def main(argv):
    problem = usage_error(argv)
    if problem:
        name = Path(argv[0]).name
        print(f"{name}: {problem}; usage: {name} --table OUT_BIN DRAWINGS_DIR", file=sys.stderr)
        return 2
    table_file = argv[1] == "--table"
    drawings = Path(argv[3] if table_file else argv[1])
    try:
        table, normal = build(drawings)
    except DrawingError as e:
        print(f"glyph drawings: {e}", file=sys.stderr)
        if table_file:
            try:
                Path(os.path.realpath(argv[2])).unlink(missing_ok=True)
            except OSError as e:
                print(f"glyph table: cannot remove the old {argv[2]}: {e.strerror}",
                      file=sys.stderr)
        return 1
    if table_file:
        return 0 if write_whole(argv[2], table) else 1
    written = write_whole(argv[2], cpp_text(table).encode("utf-8"))
    written = written and write_whole(argv[3], codepoints_text(normal).encode("utf-8"))
    return 0 if written else 1


if __name__ == "__main__":
    for caught in ("SIGTERM", "SIGHUP"):
        if hasattr(signal, caught):
            signal.signal(getattr(signal, caught), stop_on_signal)
    try:
        sys.exit(main(sys.argv))
    except KeyboardInterrupt:
        sys.exit(128 + signal.SIGINT)
