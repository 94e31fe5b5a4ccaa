#!/usr/bin/env python3
"""Renders the Japanese manual pages as man does on a UTF-8 terminal and
checks how the lines break.

Japanese has no spaces between words, so a page must say where a line may
break; a page that forgets it gets words split by hyphenation, a number torn
from its counter, or a line too long for the terminal. At each width this
finds:
  - a warning from groff (such as a line it could not break),
  - a line wider than the page,
  - a hyphen at a line's end (hyphenation),
  - a line ending in a letter or digit whose next line goes on in Japanese
    (a word torn from its particle or counter, as in "31" / "個の値"),
  - a space after 、 or 。 (a source line's end that became a space),
  - a line starting with a closing mark or ending with an opening one,
  - brackets that do not pair up, such as "(" closed by "）".

usage: check_japanese_man_pages.py GROFF PAGE...
"""
import os
import re
import subprocess
import sys
import unicodedata

WIDTHS = (80, 64, 100)
OPENING = "([（「『【"
CLOSING = ")]）」』】"
NO_LINE_START = "、。，．）」』】・ー"
JAPANESE = re.compile(r"[\u3040-\u30ff\u4e00-\u9fff]")


def indent(line):
    return len(line) - len(line.lstrip(" "))


def display_width(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def render(groff, page, width):
    # man-db sets the line and title lengths two columns short of the width.
    length = f"{width - 2}n"
    result = subprocess.run(
        [groff, "-k", "-K", "utf8", "-man", "-Tutf8", f"-rLL={length}", f"-rLT={length}",
         "-P-c", "-P-b", "-P-o", "-P-u", page],
        capture_output=True, env=dict(os.environ, LC_ALL="C.UTF-8"), check=False)
    return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8")


def bracket_problems(lines):
    problems = []
    pending = []
    for number, line in enumerate(lines, 1):
        for mark in line:
            if mark in OPENING:
                pending.append((mark, number))
            elif mark in CLOSING:
                expected = OPENING[CLOSING.index(mark)]
                if not pending or pending[-1][0] != expected:
                    opened = f"'{pending[-1][0]}' of line {pending[-1][1]}" if pending else "nothing"
                    problems.append(f"line {number}: '{mark}' closes {opened}")
                    return problems
                pending.pop()
    problems += [f"line {number}: '{mark}' is never closed" for mark, number in pending]
    return problems


def break_problems(lines, width):
    problems = []
    for number, line in enumerate(lines, 1):
        text = line.strip()
        if not text:
            continue
        if display_width(line.rstrip()) > width:
            problems.append(f"line {number} is wider than {width} columns: {text}")
        if text.endswith("\u2010") or re.search(r"[A-Za-z]-$", text):
            problems.append(f"line {number} ends in a hyphenated word: {text}")
        if re.search(r"[、。] ", text):
            problems.append(f"line {number} has a space after 、 or 。: {text}")
        if text[0] in NO_LINE_START:
            problems.append(f"line {number} starts with '{text[0]}': {text}")
        if text[-1] in "（「『【":
            problems.append(f"line {number} ends with '{text[-1]}': {text}")
        # Only a line of the same paragraph, set at the same indent, goes on.
        following = lines[number] if number < len(lines) else ""
        same_paragraph = indent(following) == indent(line)
        if (same_paragraph and re.search(r"[A-Za-z0-9]$", text) and
                JAPANESE.match(following.strip())):
            problems.append(f"lines {number}-{number + 1} tear a word from its Japanese: "
                            f"{text[-12:]} / {following.strip()[:12]}")
    return problems


def check(groff, page):
    problems = []
    for width in WIDTHS:
        status, text, warnings = render(groff, page, width)
        where = f"{os.path.basename(page)} at {width} columns"
        if status != 0 or warnings.strip():
            problems.append(f"{where}: groff says: {warnings.strip() or f'exit {status}'}")
        lines = text.splitlines()
        problems += [f"{where}: {p}" for p in break_problems(lines, width)]
        problems += [f"{where}: {p}" for p in bracket_problems(lines)]
    return problems


def main():
    groff, pages = sys.argv[1], sys.argv[2:]
    problems = [problem for page in pages for problem in check(groff, page)]
    for problem in problems:
        print(problem)
    if not pages:
        print("no page given")
        return 2
    print(f"{len(pages)} page(s) at {', '.join(map(str, WIDTHS))} columns: "
          f"{len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
