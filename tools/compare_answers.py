#!/usr/bin/python3
"""Compares the answers that the shared test tables gave on two platforms.

  tools/compare_answers.py LINUX_ANSWERS_DIR WINDOWS_ANSWERS_DIR

Each directory holds one file per table (<Suite.Test>.txt), one line "row<TAB>answer" per row,
written by the test runs (tests/support/answers.h). Fails (exit code 1, one line per fault)
when a table or a row is on one side only, or a row's answers differ. A row that a side marks
"skipped: <reason>" is listed and not compared. Fails as well when there is nothing to compare.
"""

import os
import sys

SKIPPED = "skipped: "


def read_tables(folder):
    tables = {}
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        if not name.endswith(".txt"):
            continue
        rows = {}
        with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as table:
            for line in table:
                row, _, answer = line.rstrip("\n").partition("\t")
                if row in rows:
                    answer = "two answers: %s | %s" % (rows[row], answer)
                rows[row] = answer
        tables[name[:-4]] = rows
    return tables


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip())
        return 2
    linux, windows = (read_tables(folder) for folder in sys.argv[1:])
    faults = []
    skipped = []
    compared = 0
    for table in sorted(set(linux) | set(windows)):
        if table not in linux or table not in windows:
            faults.append("%s: answered on %s only" % (table, "Linux" if table in linux else "Wine"))
            continue
        ours, theirs = linux[table], windows[table]
        for row in sorted(set(ours) | set(theirs)):
            a, b = ours.get(row), theirs.get(row)
            if a is None or b is None:
                faults.append("%s / %s: answered on %s only" % (table, row, "Linux" if b is None else "Wine"))
            elif a.startswith(SKIPPED) or b.startswith(SKIPPED):
                skipped.append("%s / %s: %s" % (table, row, a if a.startswith(SKIPPED) else b))
            elif a != b:
                faults.append("%s / %s: Linux %r, Wine %r" % (table, row, a, b))
            else:
                compared += 1
    for line in skipped:
        print("not compared: " + line)
    for line in faults:
        print("differs: " + line)
    if compared == 0:
        faults.append("no answers to compare")
        print("differs: no answers to compare")
    print("answers: %d tables, %d rows alike, %d not compared, %d differ" %
          (len(set(linux) & set(windows)), compared, len(skipped), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
