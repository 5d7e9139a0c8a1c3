#!/usr/bin/env python3
"""Reads a csv-units or msl export back with Python's own csv module and
plain string handling, not with anything of the program, and prints what it
found as JSON: {"names", "units", "rows", "markers"}. Markers are given as
the number of data rows before them; an empty field is null.

    read_export.py csv-units FILE [SEPARATOR] [comma]
    read_export.py msl FILE
"""
import csv
import json
import re
import sys


def number(text, comma):
    if text == "":
        return None
    return float(text.replace(",", ".") if comma else text)


def read_csv_units(path, sep, comma):
    with open(path, newline="", encoding="utf-8") as f:
        table = list(csv.reader(f, delimiter=sep))
    header = table[0]
    names, units = [], []
    for cell in header:
        m = re.fullmatch(r"(.*) \((.*)\)", cell)
        names.append(m.group(1))
        units.append(m.group(2))
    rows = [[number(c, comma) for c in r] for r in table[1:] if r]
    return {"names": names, "units": units, "rows": rows, "markers": []}


def read_msl(path):
    names = units = None
    rows, markers = [], []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if names is None:
                if line.startswith('"'):
                    continue
                names = line.split("\t")
                continue
            if units is None:
                units = line.split("\t")
                continue
            cells = line.split("\t")
            try:
                rows.append([number(c, False) for c in cells])
            except ValueError:
                markers.append({"afterRow": len(rows), "text": line})
    return {"names": names, "units": units, "rows": rows, "markers": markers}


def main():
    kind, path = sys.argv[1], sys.argv[2]
    if kind == "msl":
        out = read_msl(path)
    else:
        sep = sys.argv[3] if len(sys.argv) > 3 else ","
        out = read_csv_units(path, sep, len(sys.argv) > 4 and sys.argv[4] == "comma")
    json.dump(out, sys.stdout)


if __name__ == "__main__":
    main()
