#!/usr/bin/env python3
"""The help builder's own guarantees, on a two-page document made up here:
a broken link or anchor fails the build and leaves no file behind; a sound document is built
and lists its pages; an optional block for an absent page is dropped (no broken link); an
options marker becomes a table of exactly the items the program's --help lists (continuation
lines joined, the other lines left out), and a marker for a program not given fails the build."""
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


# A program's --help as the real ones write it: usage, paragraph, items with continuation lines,
# a term holding several options, an item that ends where a deeper-indented line does not follow.
HELP = """usage: fake [-a] [--bee N] FILE
  -a, --all        every item
  --bee N          N bees, 1 to 9
                   (default 3) & <more>
Exit status: 0 done.
    -x          deeper item
   not an item
"""
ROWS = ["<tr><td><code>-a, --all</code></td><td>every item</td></tr>",
        "<tr><td><code>--bee&nbsp;N</code></td><td>N bees, 1 to 9 (default 3) &amp; &lt;more&gt;</td></tr>",
        "<tr><td><code>-x</code></td><td>deeper item</td></tr>"]


def build(folder, work, *extra):
    output = work / "out" / "T.chm"
    result = subprocess.run([sys.executable, builder, "--chmcmd", chmcmd, "--chmls", chmls,
                             "--source", str(folder), "--staging", str(work / "stage"),
                             "--title", "试验", "--output", str(output), *extra],
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

    fake = work / "fake"
    fake.write_text(f"#!{sys.executable}\nprint({HELP!r}, end='')\n", "utf-8")
    fake.chmod(0o755)
    (source / "a.html").write_text(PAGE.format("<!-- options: fake -->"), "utf-8")
    status, output = build(source, work, "--options", f"fake={fake}")
    staged = (work / "stage" / "a.html").read_text("gb2312") if status == 0 else ""
    rows = [line for line in staged.splitlines() if line.startswith("<tr><td>")]
    if status != 0 or rows != ROWS:
        failures.append(f"the options marker gave {rows} (status {status}), not {ROWS}")
    for extra in ((), ("--options", "other=" + str(fake))):
        status, output = build(source, work, *extra)
        if status == 0 or output.exists():
            failures.append(f"a marker for a program not given ({extra}) did not fail the build")

for failure in failures:
    print(f"FAIL: {failure}", file=sys.stderr)
sys.exit(1 if failures else 0)
