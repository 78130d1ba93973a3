#!/usr/bin/env python3
"""Each manual page's OPTIONS section lists exactly the options of its program's --help.

usage: check_manpages.py PAGE.md PROGRAM [PAGE.md PROGRAM]...

--help lists an option as an item line: up to four spaces, the option(s) with their values,
two spaces, the text (docs/help_options.py reads it, as the help documents' option tables do).
The page lists it as a definition term in bold (**-o** *OUT*). -h and --help themselves are
left out on both sides (--help does not list itself).
"""
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "docs"))
import help_options  # noqa: E402

IGNORED = {"-h", "--help"}


def help_options_of(program):
    return help_options.options(help_options.help_text(program)) - IGNORED


def page_options(page):
    section = re.search(r"^# OPTIONS\n(.*?)(?=^# |\Z)", open(page, encoding="utf-8").read(),
                        re.M | re.S)
    if not section:
        return set()
    options = set()
    for line in section.group(1).splitlines():
        if line.startswith("**"):
            options |= {o.replace("\\-", "-") for o in re.findall(r"\*\*(\\?-[^*]*)\*\*", line)}
    return options - IGNORED


def main(arguments):
    if not arguments or len(arguments) % 2:
        sys.exit(__doc__)
    failed = False
    for page, program in zip(arguments[0::2], arguments[1::2]):
        listed, documented = help_options_of(program), page_options(page)
        if not listed:
            print(f"{program} --help lists no options")
            failed = True
        for option in sorted(listed - documented):
            print(f"{page}: {option} is in {program} --help but not in the page")
            failed = True
        for option in sorted(documented - listed):
            print(f"{page}: {option} is in the page but not in {program} --help")
            failed = True
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main(sys.argv[1:])
