#!/usr/bin/env python3
"""Builds one compiled help file from a folder of HTML pages.

The page list is the folder itself: every *.html file is compiled, so a page cannot be left
out of the project. The contents (.hhc) follow the order of the links on index.html (pages it
does not link come last, by name); the index (.hhk) holds every page title and every heading
that carries an id. Blocks between <!--optional:PAGE--> and <!--/optional--> are dropped when
PAGE is absent, so a page written elsewhere may arrive late without breaking the build.
A marker <!-- options: NAME --> becomes the table of the options that NAME --help lists
(--options NAME=PROGRAM gives the built program; help_options.py reads its items, as the check
of the manual pages does), so the pages' option tables cannot drift from the programs. A marker
for a program this build does not have (--options NAME= with no program) becomes a pointer to
NAME --help; a marker for a NAME not given at all fails the build.

chmcmd may exit with 0 after reporting problems, or fail and leave a file behind: any
non-zero status, any warning or error line, an empty file, or a listing that lacks a page
removes the output and fails the build.
"""
import argparse
import html
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import help_options

OPTIONAL = re.compile(r"<!--optional:([\w.-]+)-->(.*?)<!--/optional-->", re.S)
LINK = re.compile(r'href="([\w.-]+\.html)(?:#[\w.-]*)?"')
TITLE = re.compile(r"<title>(.*?)</title>", re.S)
HEADING = re.compile(r'<h([23])[^>]*\bid="([\w.-]+)"[^>]*>(.*?)</h\1>', re.S)
TAG = re.compile(r"<[^>]+>")
OPTIONS_MARKER = re.compile(r"<!--\s*options:\s*([\w.-]+)\s*-->")

# Compiled help has no notion of UTF-8: viewers decode pages, contents and index in the code
# page of the document's language (0x804, Chinese PRC: GB2312). The sources are UTF-8; the staged
# copies are GB2312, with any character outside it written as a character reference.
ENCODING = "gb2312"
CHARSET = re.compile(r"<meta[^>]*charset[^>]*>", re.I)
HEAD_TAG = re.compile(r"<head[^>]*>", re.I)
META = '<meta http-equiv="Content-Type" content="text/html; charset=gb2312">'


def text_of(fragment):
    return html.unescape(TAG.sub("", fragment)).strip()


def fail(message, output):
    print(f"make_chm: {message}", file=sys.stderr)
    if output.exists():
        output.unlink()
    sys.exit(1)


def option_tables(programs, pages):
    """The HTML that replaces each options marker the pages use, from the programs' --help."""
    tables = {}
    for name in sorted({n for page in pages for n in OPTIONS_MARKER.findall(page)}):
        if name not in programs:
            raise ValueError(f"an options marker names {name}, which --options does not give")
        if not programs[name]:
            tables[name] = (f"<p>这次构建没有 {html.escape(name)}：选项见 <code>{html.escape(name)} "
                            f"--help</code>。<span class=\"en\">Not built here: see "
                            f"<code>{html.escape(name)} --help</code>.</span></p>")
            continue
        try:
            pairs = help_options.items(help_options.help_text(programs[name]))
        except (OSError, subprocess.CalledProcessError) as error:
            raise ValueError(f"{programs[name]} --help failed: {error}")
        if not pairs:
            raise ValueError(f"{programs[name]} --help lists no options")
        tables[name] = help_options.table_html(pairs)
    return tables


def stage(source, staging, shared, programs):
    """Copies the pages and the shared files to the staging folder, resolving the optional
    blocks and the options markers."""
    if staging.exists():
        shutil.rmtree(staging)
    staging.mkdir(parents=True)
    for extra in shared:
        shutil.copyfile(extra, staging / extra.name)
    present = {p.name for p in source.iterdir() if p.is_file()}
    tables = option_tables(programs, [(source / n).read_text("utf-8") for n in present
                                      if n.endswith(".html")])
    for name in sorted(present):
        data = (source / name).read_bytes()
        if name.endswith(".html"):
            page = data.decode("utf-8")
            page = OPTIONAL.sub(lambda m: m.group(2) if m.group(1) in present else "", page)
            page = OPTIONS_MARKER.sub(lambda m: tables[m.group(1)], page)
            page = CHARSET.sub("", page)
            # Viewers built on simple HTML engines ignore style sheets: give tables their rules.
            page = page.replace("<table>", '<table border="1" cellspacing="0" cellpadding="4">')
            page, found = HEAD_TAG.subn(lambda m: m.group(0) + META, page, count=1)
            if not found:
                page = META + page
            data = page.encode(ENCODING, errors="xmlcharrefreplace")
        (staging / name).write_bytes(data)
    return sorted(n for n in present if n.endswith(".html"))


def page_order(staging, pages):
    linked = []
    for target in LINK.findall((staging / "index.html").read_text(ENCODING)):
        if target in pages and target not in linked and target != "index.html":
            linked.append(target)
    return ["index.html"] + linked + [p for p in pages if p not in linked and p != "index.html"]


def sitemap_object(name, local):
    return (f'<LI><OBJECT type="text/sitemap"><param name="Name" value="{html.escape(name)}">'
            f'<param name="Local" value="{local}"></OBJECT>\n')


def write_project(staging, args, order):
    titles = {}
    headings = {}
    for page in order:
        text = (staging / page).read_text(ENCODING)
        found = TITLE.search(text)
        if not found:
            raise SystemExit(f"make_chm: {page} has no <title>")
        titles[page] = text_of(found.group(1))
        headings[page] = [(level, anchor, text_of(body)) for level, anchor, body in HEADING.findall(text)]

    head = f'<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN">\n<HTML><HEAD>{META}</HEAD><BODY>\n' 
    toc = [head, "<UL>\n"]
    for page in order:
        toc.append(sitemap_object(titles[page], page))
        subs = [h for h in headings[page] if h[0] == "2"]
        if subs:
            toc.append("<UL>\n")
            toc.extend(sitemap_object(title, f"{page}#{anchor}") for _, anchor, title in subs)
            toc.append("</UL>\n")
    toc.append("</UL>\n</BODY></HTML>\n")
    (staging / "contents.hhc").write_text("".join(toc), ENCODING, errors="xmlcharrefreplace")

    keywords = {}
    for page in order:
        keywords.setdefault(titles[page], page)
        for _, anchor, title in headings[page]:
            keywords.setdefault(title, f"{page}#{anchor}")
    index = [head, "<UL>\n"]
    index.extend(sitemap_object(k, keywords[k]) for k in sorted(keywords, key=str.casefold))
    index.append("</UL>\n</BODY></HTML>\n")
    (staging / "keywords.hhk").write_text("".join(index), ENCODING, errors="xmlcharrefreplace")

    others = sorted(p.name for p in staging.iterdir()
                    if p.suffix in (".css", ".png", ".svg", ".gif"))
    project = f"""[OPTIONS]
Compatibility=1.1 or later
Compiled file={args.output.name}
Contents file=contents.hhc
Index file=keywords.hhk
Default topic=index.html
Default Window=main
Display compile progress=No
Full-text search=Yes
Language=0x804 Chinese (PRC)
Title={args.title}

[WINDOWS]
main="{args.title}","contents.hhc","keywords.hhk","index.html","index.html",,,,,0x63520,,0x384e,,,,,,,,0

[FILES]
""" + "".join(f"{name}\n" for name in order + others)
    (staging / "project.hhp").write_text(project, ENCODING, errors="replace")


def listed_names(chmls, output):
    result = subprocess.run([chmls, "--no-page", "--name-only", "list", str(output)],
                            capture_output=True, text=True)
    if result.returncode != 0:
        return None
    return {line.strip().lstrip("/") for line in result.stdout.splitlines() if line.strip()}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--chmcmd", required=True)
    parser.add_argument("--chmls", required=True)
    parser.add_argument("--source", required=True, type=Path)
    parser.add_argument("--staging", required=True, type=Path)
    parser.add_argument("--title", required=True)
    parser.add_argument("--output", required=True, type=Path)
    parser.add_argument("--shared", action="append", default=[], type=Path,
                        help="a file every document uses (the style sheet)")
    parser.add_argument("--options", action="append", default=[], metavar="NAME=PROGRAM",
                        help="the program whose --help fills <!-- options: NAME --> "
                             "(empty: not built)")
    args = parser.parse_args()
    args.output = args.output.resolve()
    programs = {}
    for given in args.options:
        name, sign, program = given.partition("=")
        if not sign or not name:
            parser.error(f"--options {given}: NAME=PROGRAM expected")
        programs[name] = program

    try:
        pages = stage(args.source, args.staging, args.shared, programs)
    except ValueError as error:
        fail(str(error), args.output)
    if "index.html" not in pages:
        fail(f"{args.source} has no index.html", args.output)
    order = page_order(args.staging, pages)
    write_project(args.staging, args, order)

    built = args.staging / args.output.name
    if built.exists():
        built.unlink()
    result = subprocess.run([args.chmcmd, "--html-scan", "project.hhp"], cwd=args.staging,
                            capture_output=True, text=True)
    log = result.stdout + result.stderr
    complaints = [line for line in log.splitlines() if re.search(r"warning|error|hint", line, re.I)]
    if result.returncode != 0 or complaints:
        print(log, file=sys.stderr)
        if built.exists():
            built.unlink()
        fail(f"chmcmd failed for {args.source} (status {result.returncode})", args.output)
    if not built.exists() or built.stat().st_size == 0:
        fail(f"chmcmd left no {built.name}", args.output)
    args.output.parent.mkdir(parents=True, exist_ok=True)
    shutil.move(str(built), str(args.output))

    names = listed_names(args.chmls, args.output)
    if names is None:
        fail(f"chmls cannot read {args.output}", args.output)
    missing = [p for p in order if p not in names]
    if missing:
        fail(f"{args.output.name} lacks {', '.join(missing)}", args.output)


if __name__ == "__main__":
    main()
