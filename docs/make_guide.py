#!/usr/bin/env python3
"""Turns the guide's Markdown into a whole HTML page: cmark-gfm writes the body (with its table
extension), guide.html.in gives the page around it. A line break inside a Chinese sentence is
dropped, as browsers would otherwise show it as a space between two characters.

Usage: make_guide.py CMARK-GFM GUIDE.md TEMPLATE.html.in OUT.html"""
import re
import subprocess
import sys

cmark, source, template, output = sys.argv[1:]
body = subprocess.run([cmark, "--extension", "table", "--to", "html", source],
                      check=True, capture_output=True, text=True, encoding="utf-8").stdout
wide = "\u2e80-\u9fff\uf900-\ufaff\uff00-\uffef"  # CJK characters and full-width punctuation
body = re.sub(f"(?<=[{wide}])\n(?=[{wide}])", "", body)
with open(template, encoding="utf-8") as f:
    page = f.read().replace("@body@", body)
with open(output, "w", encoding="utf-8") as f:
    f.write(page)
