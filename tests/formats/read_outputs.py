#!/usr/bin/env python3
"""Reads output files with Python's own csv, json, zipfile and xml modules,
independently of the program's readers, and prints what it found as JSON:
one object per file with its rows (lists of [header, value] pairs; numbers
stay numbers, a workbook's date cells become ISO 8601 text with the offset
their format names) and, for a workbook, what its sheet says about itself,
its hyperlinks included.

Usage: read_outputs.py FORMAT=PATH ...   (FORMAT: csv, csv-utf8, jsonl, xlsx,
       or report-xlsx for every sheet of a compare report and its links)
"""
import csv
import datetime
import io
import json
import re
import sys
import xml.etree.ElementTree as ET
import zipfile

MAIN = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
RELATIONSHIP = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
PACKAGE = "{http://schemas.openxmlformats.org/package/2006/relationships}"
GUARDED = ("=", "+", "-", "@", "\t", "\r")


def unguard(value):
    if len(value) >= 3 and value[0] == "'" and value[1] in GUARDED:
        return value[1:]
    return value


def read_csv(path, encoding, expect_columns, trailing_comma):
    with open(path, encoding=encoding, newline="") as f:
        data = f.read()
    if encoding == "utf-8":
        assert data.startswith("\ufeff"), "no BOM"
        data = data[1:]
    assert "\r\n" in data and "\n" not in data.replace("\r\n", ""), "not CR LF"
    rows = list(csv.reader(io.StringIO(data, newline=""), strict=True))
    header = rows[0]
    assert len(header) == expect_columns, (len(header), header)
    out = []
    for row in rows[1:]:
        if trailing_comma:
            assert len(row) == expect_columns + 1 and row[-1] == "", row
            row = row[:-1]
        assert len(row) == expect_columns, row
        out.append([[h, unguard(v)] for h, v in zip(header, row)])
    return {"rows": out}


def read_jsonl(path):
    out = []
    with open(path, "rb") as f:
        data = f.read().decode("utf-8")
    assert "\r" not in data
    for line in data.split("\n"):
        if line:
            obj = json.loads(line)
            out.append([[k, v] for k, v in obj.items()])
    return {"rows": out}


def cell_text(element):
    """The text of a string item, with the workbook's _xHHHH_ escapes
    resolved as a spreadsheet resolves them."""
    text = "".join(t.text or "" for t in element.iter(MAIN + "t"))
    return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), text)


def date_formats(styles):
    """For each cell style, None when it shows no date, else the offset its
    format names as a quoted literal ("" when none)."""
    codes = {}
    numfmts = styles.find(MAIN + "numFmts")
    for numfmt in numfmts if numfmts is not None else []:
        codes[int(numfmt.get("numFmtId"))] = numfmt.get("formatCode")
    out = []
    for xf in styles.find(MAIN + "cellXfs"):
        number_format = int(xf.get("numFmtId", "0"))
        code = codes.get(number_format)
        if code is None:
            out.append("" if 14 <= number_format <= 22 else None)
            continue
        bare = re.sub(r'"[^"]*"|\\.|\[[^\]]*\]', "", code)
        offset = re.search(r'"([+-]\d\d:\d\d)"', code)
        out.append((offset.group(1) if offset else "") if re.search("[yYdD]", bare) else None)
    return out


def date_text(serial, offset):
    when = datetime.datetime(1899, 12, 30) + datetime.timedelta(days=serial)
    when = (when + datetime.timedelta(microseconds=500000)).replace(microsecond=0)
    return when.strftime("%Y-%m-%dT%H:%M:%S") + offset


def hyperlinks(z, sheet):
    """Each linked cell's reference and the link's target."""
    rels = {}
    name = "xl/worksheets/_rels/sheet1.xml.rels"
    if name in z.namelist():
        for rel in ET.fromstring(z.read(name)).iter(PACKAGE + "Relationship"):
            assert rel.get("TargetMode") == "External", rel.attrib
            rels[rel.get("Id")] = rel.get("Target")
    return {h.get("ref"): rels[h.get(RELATIONSHIP + "id")] for h in sheet.iter(MAIN + "hyperlink")}


def column_index(ref):
    letters = re.match(r"[A-Z]+", ref).group(0)
    n = 0
    for c in letters:
        n = n * 26 + ord(c) - 64
    return n - 1


def read_xlsx(path):
    z = zipfile.ZipFile(path)
    assert z.testzip() is None
    book = ET.fromstring(z.read("xl/workbook.xml"))
    sheets = [s.get("name") for s in book.iter(MAIN + "sheet")]
    sheet = ET.fromstring(z.read("xl/worksheets/sheet1.xml"))
    styles = ET.fromstring(z.read("xl/styles.xml"))
    fonts = list(styles.find(MAIN + "fonts"))
    xfs = list(styles.find(MAIN + "cellXfs"))
    dates = date_formats(styles)

    def bold(style):
        font = fonts[int(xfs[int(style)].get("fontId", "0"))]
        return font.find(MAIN + "b") is not None

    shared = []
    if "xl/sharedStrings.xml" in z.namelist():
        for si in ET.fromstring(z.read("xl/sharedStrings.xml")).iter(MAIN + "si"):
            shared.append(cell_text(si))

    formulas = sum(1 for _ in sheet.iter(MAIN + "f"))
    pane = sheet.find(f"{MAIN}sheetViews/{MAIN}sheetView/{MAIN}pane")
    autofilter = sheet.find(MAIN + "autoFilter")
    widths = [float(c.get("width")) for c in sheet.iter(MAIN + "col")]
    rows = []
    cell_types = {}
    header_bold = True
    for row in sheet.iter(MAIN + "row"):
        values = {}
        for c in row.iter(MAIN + "c"):
            col = column_index(c.get("r"))
            kind = c.get("t", "n")
            if kind == "inlineStr":
                value = cell_text(c)
            elif kind == "s":
                value = shared[int(c.find(MAIN + "v").text)]
            else:
                text = c.find(MAIN + "v").text
                value = float(text)
                offset = dates[int(c.get("s", "0"))]
                if offset is not None:
                    value = date_text(value, offset)
                    kind = "date"
                elif value == int(value):
                    value = int(value)
            values[col] = value
            if row.get("r") == "1":
                header_bold = header_bold and bold(c.get("s", "0"))
            else:
                cell_types.setdefault(col, set()).add(kind)
        rows.append(values)
    header = [rows[0][i] for i in range(len(rows[0]))]
    out = [[[h, r.get(i)] for i, h in enumerate(header)] for r in rows[1:]]
    return {
        "rows": out,
        "sheets": sheets,
        "formulas": formulas,
        "frozen": pane is not None and pane.get("state") == "frozen"
        and pane.get("ySplit") == "1",
        "autofilter": autofilter.get("ref") if autofilter is not None else None,
        "widths": widths,
        "header_bold": header_bold,
        "cell_types": {header[k]: sorted(v) for k, v in cell_types.items() if k < len(header)},
        "links": hyperlinks(z, sheet),
    }


REL = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
PKG_REL = "{http://schemas.openxmlformats.org/package/2006/relationships}"


def relationships(z, path):
    """The targets of a part's relationships by their id."""
    folder, name = path.rsplit("/", 1)
    rels = ET.fromstring(z.read(f"{folder}/_rels/{name}.rels"))
    return {r.get("Id"): r.get("Target") for r in rels.iter(PKG_REL + "Relationship")}


def read_report_xlsx(path):
    """Every sheet of a workbook in order: its rows as lists of cell values
    (numbers as numbers, None for no cell) and its links by cell."""
    z = zipfile.ZipFile(path)
    assert z.testzip() is None
    book = ET.fromstring(z.read("xl/workbook.xml"))
    targets = relationships(z, "xl/workbook.xml")
    shared = []
    if "xl/sharedStrings.xml" in z.namelist():
        for si in ET.fromstring(z.read("xl/sharedStrings.xml")).iter(MAIN + "si"):
            shared.append(cell_text(si))
    sheets = []
    for entry in book.iter(MAIN + "sheet"):
        part = "xl/" + targets[entry.get(REL + "id")]
        sheet = ET.fromstring(z.read(part))
        rows = []
        for row in sheet.iter(MAIN + "row"):
            values = {}
            for c in row.iter(MAIN + "c"):
                kind = c.get("t", "n")
                if kind == "inlineStr":
                    value = cell_text(c)
                elif kind == "s":
                    value = shared[int(c.find(MAIN + "v").text)]
                else:
                    value = float(c.find(MAIN + "v").text)
                values[column_index(c.get("r"))] = value
            rows.append([values.get(i) for i in range(max(values) + 1)] if values else [])
        links = {}
        hyperlinks = list(sheet.iter(MAIN + "hyperlink"))
        if hyperlinks:
            sheet_targets = relationships(z, part)
            for link in hyperlinks:
                links[link.get("ref")] = sheet_targets[link.get(REL + "id")]
        sheets.append({"name": entry.get("name"), "rows": rows, "links": links})
    return {"sheets": sheets}


def main():
    result = {}
    for argument in sys.argv[1:]:
        kind, path = argument.split("=", 1)
        if kind == "csv":
            result[kind] = read_csv(path, "cp932", 31, True)
        elif kind == "csv-utf8":
            result[kind] = read_csv(path, "utf-8", 40, False)
        elif kind == "jsonl":
            result[kind] = read_jsonl(path)
        elif kind == "xlsx":
            result[kind] = read_xlsx(path)
        elif kind == "report-xlsx":
            result[kind] = read_report_xlsx(path)
    json.dump(result, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
