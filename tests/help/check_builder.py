#!/usr/bin/env python3
"""The help builder's own guarantees, on a two-page document made up here:
a broken link or anchor fails the build and leaves no file behind; a sound document is built
and lists its pages; an optional block for an absent page is dropped (no broken link)."""
import subprocess
import sys
import tempfile
from pathlib import Path

builder, chmcmd, chmls = sys.argv[1:4]
INDEX = ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>目录</title></head><body>'
         '<a href="a.html">A</a><!--optional:late.html--><a href="late.html">L</a><!--/optional-->'
         '</body></html>')
PAGE = ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>页 A</title></head><body>'
        '<h2 id="x">小节 − ≤</h2>{}</body></html>')
failures = []


def build(folder, work):
    output = work / "out" / "T.chm"
    result = subprocess.run([sys.executable, builder, "--chmcmd", chmcmd, "--chmls", chmls,
                             "--source", str(folder), "--staging", str(work / "stage"),
                             "--title", "试验", "--output", str(output)],
                            capture_output=True, text=True)
    return result.returncode, output


with tempfile.TemporaryDirectory() as temp:
    work = Path(temp)
    source = work / "src"
    source.mkdir()
    (source / "index.html").write_text(INDEX, "utf-8")
    for body, name in (('<a href="gone.html">x</a>', "missing page"),
                       ('<a href="a.html#nowhere">x</a>', "missing anchor")):
        (source / "a.html").write_text(PAGE.format(body), "utf-8")
        status, output = build(source, work)
        if status == 0 or output.exists():
            failures.append(f"a {name} did not fail the build, or left {output.name}")

    (source / "a.html").write_text(PAGE.format('<a href="index.html">back</a>'), "utf-8")
    status, output = build(source, work)
    if status != 0 or not output.exists():
        failures.append("a sound document was not built")
    else:
        names = subprocess.run([chmls, "--no-page", "--name-only", "list", str(output)],
                               capture_output=True, text=True).stdout
        for page in ("index.html", "a.html", "contents.hhc", "keywords.hhk"):
            if "/" + page not in names:
                failures.append(f"{page} is not in the built document")

for failure in failures:
    print(f"FAIL: {failure}", file=sys.stderr)
sys.exit(1 if failures else 0)
