#!/usr/bin/env python3
"""Writes the fuzz target's seed corpus: one key stream for every command.

Each seed is: a config byte (screen size, view mode, start position), a byte
giving a tiny screen's width, the locale and when a hang-up lands in
mid-change, a byte
giving the text length in units of 24 bytes, the text, then the keys as the
terminal sends them."""
import os

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
os.makedirs(here, exist_ok=True)

text = b"".join(b"line %d\tsome text here %s\n" % (i, b"x" * (i * 7 % 90)) for i in range(40))
text = text[: 24 * 40]
UP, DOWN, LEFT, RIGHT = b"\x1b[A", b"\x1b[B", b"\x1b[D", b"\x1b[C"
HOME, END, PGUP, PGDN = b"\x1b[H", b"\x1b[F", b"\x1b[5~", b"\x1b[6~"
INS, DEL, F1 = b"\x1b[2~", b"\x1b[3~", b"\x1bOP"
ESC = b"\x1b"

seeds = {
    "typing": b"hello\rworld\t\x11\x01\x11\r  indented\rmore" + ESC,
    "exchange": ESC + b"xabc" + INS + b"def" + b"\x16ghi" + ESC,
    "motion": ESC + DOWN * 30 + UP * 5 + PGDN + PGUP + RIGHT * 90 + LEFT * 3 + HOME + HOME + HOME + END + END + END,
    "counts": ESC + b"5" + DOWN + b"12j" + b"3" + RIGHT + b"\r" + b"99999999999" + DOWN + b"j",
    "deleting": ESC + DOWN * 3 + b"\x08\x08" + DEL * 3 + b"3\x19" + END + DEL + HOME + b"\x08",
    "find": ESC + b"fsome\r" + b"a" + b"-line\r" + b"3fx\r" + b"\x01" + b"f\r",
    "replace": ESC + b"rtext\rTEXT\r" + b"a" + b"?rline\rL\ryny" + b"q" + b"3?a" + b"n\x1bq",
    "buffer_copy": ESC + b"b" + DOWN * 3 + b"b" + b"3c" + b"c",
    "delete_range": ESC + b"d" + DOWN * 2 + RIGHT * 4 + b"d" + b"d" + b"fline\rd" + b"sdn" + b"d" + DOWN + b"d",
    "put_get": ESC + b"p" + DOWN * 2 + b"pout\r" + b"gout\r" + b"gmissing\r" + b"p\x1b",
    "quit_menu": ESC + b"Q" + b"u" + b"wcopy\r" + b"E" + b"n" + b"\x1b" + b"qinew\rabc" + ESC + b"qe" + b"y",
    "set_menu": ESC + b"s5" + b"s\x11" + b"si" + b"y" + b"sd" + b"y" + b"s0" + b"s\x1b" + b"s1",
    "macros": ESC + b"myiab" + ESC + b"m" + b"3y" + b"mz" + DOWN + b"fline\r" + b"m" + b"999z",
    "macro_limit": ESC + b"my" + b"i" + b"q" * 200 + ESC + b"m",
    "help_redraw": ESC + F1 + b"h" + b"@" + b" " + b" " + b" " + ESC,
    "insert_key": ESC + INS + b"typed" + ESC + b"\x10R" + b"more" + ESC + b"\x10H\x10P",
    "update_exit": ESC + b"&n" + b"&y",
    "long_line": b"a" * 300 + ESC + HOME + END + LEFT * 100 + b"\r" * 3,
    "full_store": b"x" * 4000 + ESC + b"b" + DOWN * 10 + b"b" + b"9c",
    "undo_redo": b"ab\rcd" + ESC + b"3\x19" + b"U" + b"x" + b"xyz" + ESC + b"UU\x12" + b"5rline\rL\r" + b"U\x12\x12" + b"9U",
    "paste": b"\x1b[200~int f()\n{\r\n\tx;\x1b[A\x11\r}\x1b[201~" + ESC + b"\x1b[200~QE&\x1b[201~" + b"F\x1b[200~int\rx\x1b[201~\r" + b"U" + b"Q\x1b[200~E\x1b[201~" + ESC,
    "resize": b"ab\x00\x10cd\x00\x00" + ESC + b"F\x00\x40li\x00\xff\r" + b"b" + DOWN + b"\x00\x07" + b"b" + b"Q\x00\x90" + ESC + b"\x00\x50",
    "undo_macro": ESC + b"myiab" + ESC + b"m" + b"4y" + b"U" + b"\x12" + b"b" + DOWN + b"b" + b"3c" + b"2U",
}

VIEW = 8
variants = (
    (1, 0, ""), (0, 0, "_small"), (VIEW | 1, 0, "_view"),
    (4, 0, "_1x1"), (5, 9, "_10x2"), (6, 19, "_20x3"),
    (1, 1 << 5, "_hangup"), (1, 7 << 5, "_late_hangup"),
)
tiny = ("paste", "resize", "motion", "typing", "deleting", "find", "replace", "buffer_copy", "quit_menu", "macros", "undo_redo")
hangup = ("typing", "buffer_copy", "put_get", "replace", "full_store", "deleting", "undo_redo")

for name, keys in seeds.items():
    for config, extra, label in variants:
        if label == "_view" and name not in ("motion", "find", "put_get", "help_redraw"):
            continue
        if label in ("_1x1", "_10x2", "_20x3") and name not in tiny:
            continue
        if "hangup" in label and name not in hangup:
            continue
        with open(os.path.join(here, name + label), "wb") as f:
            f.write(bytes([config, extra, len(text) // 24]) + text + keys)

# A UTF-8 text in a UTF-8 locale (bit 4 of the second byte): mixed scripts,
# wide characters, a combining mark, broken sequences.
UTF8 = 1 << 4
utf8_text = "naïve café — 日本語 😀 e\u0301 ".encode() + b"\xff\xc3 \xe6\x97 \n"
utf8_text = (utf8_text * 40)[: 24 * 40]
utf8_seeds = {
    "utf8_motion": DOWN * 3 + RIGHT * 40 + LEFT * 7 + END + UP + HOME + END * 3 + RIGHT * 200,
    "utf8_typing": "é日😀".encode() + b"\xc3" + b"x" + b"\xe6\x97" + b"\x08" * 3 + DEL * 4 + b"\r",
    "utf8_exchange": ESC + b"x" + "é".encode() + RIGHT + b"x" + "日".encode() + END + "😀".encode() + ESC,
    "utf8_find": ESC + "fcafé\r".encode() + "r日本\r中\r".encode() + "f\xc3\xa9\x08\xc3\xaf\r".encode("latin-1"),
}
for name, keys in utf8_seeds.items():
    for config, extra, label in ((1, UTF8, ""), (0, UTF8, "_small"), (1, 0, "_c_locale"), (6, UTF8 | 3, "_4x3")):
        with open(os.path.join(here, name + label), "wb") as f:
            f.write(bytes([config, extra, len(utf8_text) // 24]) + utf8_text + keys)
