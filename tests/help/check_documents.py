#!/usr/bin/env python3
"""Checks the compiled help documents against their sources.

For every --document CHM SOURCE: the file exists, is not empty, starts with the compiled-help
signature "ITSF", and chmls lists every page of SOURCE in it. With --instructions SOURCE:
every instruction of the machine has its own section (a heading whose id is its name) in the
reference's own pages. The instructions are the names that --assembler ASM (the built
roziduv2-asm) prints with --list-instructions, its "ALIAS = NAME" lines left out. The
assembler syntax page is written elsewhere and may be absent, so it is not needed for the
coverage. With --options-page PAGE NAME: PAGE's option table is the one made from NAME --help
(it holds the marker <!-- options: NAME -->, not a table written by hand).
"""
import argparse
import re
import subprocess
import sys
from pathlib import Path

OPTIONAL_PAGES = {"assembler.html"}


def check_document(chmls, chm, source, problems):
    if not chm.is_file() or chm.stat().st_size == 0:
        problems.append(f"{chm} is missing or empty")
        return
    if chm.read_bytes()[:4] != b"ITSF":
        problems.append(f"{chm} is not a compiled help file")
    listing = subprocess.run([chmls, "--no-page", "--name-only", "list", str(chm)],
                             capture_output=True, text=True)
    if listing.returncode != 0:
        problems.append(f"chmls cannot list {chm}: {listing.stderr.strip()}")
        return
    names = {line.strip().lstrip("/") for line in listing.stdout.splitlines()}
    pages = sorted(p.name for p in source.glob("*.html"))
    if not pages:
        problems.append(f"{source} has no pages")
    for page in pages:
        if page not in names:
            problems.append(f"{chm.name} lacks {page}")
    print(f"{chm.name}: {len(pages)} pages listed")


def machine_instructions(assembler, problems):
    listing = subprocess.run([assembler, "--list-instructions"], capture_output=True, text=True)
    if listing.returncode != 0:
        problems.append(f"{assembler} --list-instructions failed: {listing.stderr.strip()}")
        return []
    names = [line.strip() for line in listing.stdout.splitlines() if line.strip() and "=" not in line]
    if not names:
        problems.append(f"{assembler} --list-instructions printed no instructions")
    return names


def check_instructions(source, instructions, problems):
    text = "".join(p.read_text("utf-8") for p in sorted(source.glob("*.html"))
                   if p.name not in OPTIONAL_PAGES)
    anchors = set(re.findall(r'<h[1-6][^>]*\bid="([\w.-]+)"', text))
    for name in instructions:
        if name not in anchors:
            problems.append(f"the reference has no section for {name}")
    print(f"reference: {len(instructions)} instructions checked")


def check_options_page(page, name, problems):
    text = page.read_text("utf-8")
    if not re.search(r"<!--\s*options:\s*" + re.escape(name) + r"\s*-->", text):
        problems.append(f"{page.name} has no <!-- options: {name} --> (its table is made from --help)")
    if re.search(r"<td><code>--?\w", text):
        problems.append(f"{page.name} has a hand-written table of options besides the generated one")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--chmls", required=True)
    parser.add_argument("--document", nargs=2, action="append", default=[], metavar=("CHM", "SOURCE"))
    parser.add_argument("--instructions", type=Path)
    parser.add_argument("--assembler", help="the built roziduv2-asm, for the instruction names")
    parser.add_argument("--options-page", nargs=2, action="append", default=[], metavar=("PAGE", "NAME"))
    args = parser.parse_args()
    problems = []
    for chm, source in args.document:
        check_document(args.chmls, Path(chm), Path(source), problems)
    if args.instructions:
        if not args.assembler:
            parser.error("--instructions needs --assembler")
        check_instructions(args.instructions, machine_instructions(args.assembler, problems), problems)
    for page, name in args.options_page:
        check_options_page(Path(page), name, problems)
    for problem in problems:
        print(f"FAIL: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
