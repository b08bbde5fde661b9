"""Reads a journal written by JournalTest with Python's csv module: every
hostile field must come back exactly, the byte-order mark aside."""
import csv
import sys

with open(sys.argv[1], encoding="utf-8-sig", newline="") as f:
    rows = list(csv.reader(f, strict=True))
assert rows[0][:4] == ["Time", "Version", "Mode", "Cable"] and len(rows[0]) == 15, rows[0]
assert len(rows) == 2, rows
assert rows[1][2:] == ["1 on 1", "3", 'say "hi"', "a,b;c", "\u0085\u009b\u202etxt", "ケーブル电缆",
                       'line 1\r\nline "2"\n', "NG", "1", "2", "0", "3",
                       '"A01" - B,02 Connection error'], rows[1]
