"""The option items of a program's --help: the one reading of --help that the help documents'
option tables and the manual pages' check share.

An item line has up to four spaces, the option(s) with their values (the term), at least two
spaces and the text; the lines after it that are indented deeper continue its text. Any other
line (the usage, a paragraph, a blank line) ends an item. A term lists one or more options,
e.g. "-g, -g0" or "-I DIR, -D NAME[=VALUE]": every word that starts with "-" names one.
"""
import html
import re
import subprocess

ITEM = re.compile(r"^( {1,4})(-\S.*)$")
TERM_END = re.compile(r" {2,}")


def help_text(program):
    """What PROGRAM --help prints (a failing program raises CalledProcessError)."""
    return subprocess.run([program, "--help"], capture_output=True, text=True, check=True).stdout


def items(text):
    """The (term, text) pairs of --help output, in their order; each text on one line."""
    found = []
    indent = None
    for line in text.splitlines():
        item = ITEM.match(line)
        if item:
            parts = TERM_END.split(item.group(2).rstrip(), maxsplit=1)
            found.append([parts[0], parts[1:]])
            indent = len(item.group(1))
        elif indent is not None and line.strip() and len(line) - len(line.lstrip(" ")) > indent:
            found[-1][1].append(line.strip())
        else:
            indent = None
    return [(term, " ".join(words)) for term, words in found]


def option_names(term):
    """The options a term names: "-I DIR, -D NAME[=VALUE]" gives -I and -D."""
    return {token.rstrip(",") for token in term.split() if token.startswith("-")}


def options(text):
    """Every option the --help output lists."""
    names = set()
    for term, _ in items(text):
        names |= option_names(term)
    return names


def table_html(pairs):
    """An HTML table of the items, as the help pages write their option tables."""
    rows = ['<table>', '<tr><th>选项 Option</th><th>作用 Meaning</th></tr>']
    for term, text in pairs:
        # An option stays on one line with its value; a list of options may break after a comma.
        cell = re.sub(r"(?<!,) ", "&nbsp;", html.escape(term, quote=False))
        rows.append(f"<tr><td><code>{cell}</code></td><td>{html.escape(text, quote=False)}</td></tr>")
    rows.append("</table>")
    return "\n".join(rows)
