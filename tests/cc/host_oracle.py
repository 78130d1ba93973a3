#!/usr/bin/env python3
"""Proves the corpus's expected output with the host compiler.

host_oracle.py HOST_CC WORKDIR PROGRAM.c...

Each program is compiled by the host compiler against the host's <roziduv2.h> (host/, print
as printf of the low 32 bits) and host_main.c, which calls main as the start-up code does and
prints its result. Its output must equal PROGRAM.out and its result the "// expect-r0: N" line,
so the expected files are the host's, not what roziduv2-cc happens to produce.

Left out: a program that uses <stdio.h> (the host's printf prints text, the machine's the
numbers only); one whose R0 is not an int that main returns (it ends through the library's
abort, assert or stack check, with their machine values); and one that says
"// host-oracle: no (reason)" (it reads the keyboard, depends on the memory size, ...).
"""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
HOST = os.path.join(HERE, "host")


def Check(host_cc, workdir, source):
    """Returns the faults of one program, an empty list when the host agrees."""
    with open(source, encoding="utf-8") as file:
        text = file.read()
    match = re.search(r"//\s*expect-r0:\s*(-?\d+)", text)
    if not match:
        return ["no '// expect-r0: N' line"]
    expected_r0 = int(match.group(1))
    if (re.search(r"//\s*host-oracle:\s*no\b", text) or re.search(r"#\s*include\s*<stdio.h>", text) or
            not -2**31 <= expected_r0 < 2**31):
        return None
    with open(os.path.splitext(source)[0] + ".out", encoding="utf-8") as file:
        expected = [int(line) for line in file.read().split()]

    binary = os.path.join(workdir, os.path.basename(source) + ".host")
    # -fno-builtin: the program's own functions named like the library's stay its own, as they
    # do in roziduv2-cc (freestanding).
    build = subprocess.run([host_cc, "-std=gnu17", "-O1", "-w", "-fno-builtin", "-I", HOST, "-Dmain=roz_test_main",
                            source, os.path.join(HOST, "host_main.c"), "-o", binary],
                           capture_output=True, text=True, timeout=120)
    if build.returncode != 0:
        return [f"the host compiler failed:\n{build.stderr}"]
    run = subprocess.run([binary], capture_output=True, text=True, timeout=60)
    lines = run.stdout.split("\n")
    faults = []
    if run.returncode != 0 or not lines or not re.fullmatch(r"R0 -?\d+", lines[-2] if len(lines) > 1 else ""):
        return [f"the host run ended with status {run.returncode} before main returned"]
    r0 = int(lines[-2].split()[1])
    printed = [int(line) for line in lines[:-2] if line.strip()]
    if r0 != expected_r0:
        faults.append(f"main returned {r0} on the host, the expect-r0 line says {expected_r0}")
    if printed != expected:
        first = next((i for i, (a, b) in enumerate(zip(printed, expected)) if a != b), min(len(printed), len(expected)))
        faults.append(f"the host prints otherwise from line {first + 1}:\n  host     {printed}\n  expected {expected}")
    return faults


def main():
    host_cc, workdir, sources = sys.argv[1], sys.argv[2], sys.argv[3:]
    os.makedirs(workdir, exist_ok=True)
    failed = checked = 0
    for source in sorted(sources):
        faults = Check(host_cc, workdir, source)
        if faults is None:
            print(f"{os.path.basename(source)}: not portable, left out")
            continue
        checked += 1
        for fault in faults:
            print(f"{os.path.basename(source)}: {fault}")
        failed += bool(faults)
    print(f"host oracle: {checked} programs checked, {failed} differ from their expected output")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
