#!/usr/bin/env python3
"""Compiles one C program with roziduv2-cc and runs it with roziduv2-cli.

run_c_case.py CC CLI LEVEL SOURCE EXPECTED WORKDIR

The monitor lines must equal the file EXPECTED (one number a line) and R0 the value of
the source's "// expect-r0: N" line (a signed decimal, sign-extended to 64 bits); the end
reason "end", or the source's "// expect-end: REASON" (assert, abort, stack-overflow).
Compiled and run with a memory of MEMORY bytes, or of the source's "// memory-size: N": the
code of this compiler is not yet small enough for every test program to fit the default 10000.
"// memory-size: grow" compiles for the default with --grow-memory and runs the program in the
memory its .dbg then asks for. "// memory-size: default" compiles with no memory option, runs in
the memory the .dbg asks for, and checks the refusal of a fixed --memory-size: the size it names
as needed builds.
"""
import json
import os
import re
import subprocess
import sys

MEMORY = "65536"


def FixedSizeFault(cc, level, source, image):
    """The refusal of a too small --memory-size names the size needed, which builds."""
    def build(size):
        return subprocess.run([cc, f"-O{level}", "--memory-size", str(size), source, "-o", image], capture_output=True,
                              text=True, timeout=120)
    refused = build(2000)
    needed = re.search(r"needs --memory-size (\d+) or more", refused.stderr)
    if refused.returncode != 1 or not needed:
        return f"--memory-size 2000: status {refused.returncode}, no needed size named:\n{refused.stderr}"
    needed = int(needed.group(1))
    built = build(needed)
    if built.returncode != 0:
        return f"the named size {needed} does not build:\n{built.stderr}"
    return None


def main():
    cc, cli, level, source, expected, workdir = sys.argv[1:7]
    os.makedirs(workdir, exist_ok=True)
    name = os.path.splitext(os.path.basename(source))[0]
    image = os.path.join(workdir, f"{name}.O{level}.bin")
    with open(source, encoding="utf-8") as file:
        text = file.read()
    match = re.search(r"//\s*expect-r0:\s*(-?\d+)", text)
    memory = re.search(r"//\s*memory-size:\s*(\d+|grow|default)", text)
    memory = memory.group(1) if memory else MEMORY
    if not match:
        print(f"{source}: no '// expect-r0: N' line")
        return 1
    expected_r0 = int(match.group(1)) & (2**64 - 1)
    expected_end = re.search(r"//\s*expect-end:\s*([a-z-]+)", text)
    expected_end = expected_end.group(1) if expected_end else "end"
    with open(expected, encoding="utf-8") as file:
        expected_lines = [int(line) for line in file.read().split()]

    memory_options = {"grow": ["--memory-size", "10000", "--grow-memory"], "default": []}.get(memory, ["--memory-size", memory])
    build = subprocess.run([cc, f"-O{level}", *memory_options, source, "-o", image], capture_output=True, text=True, timeout=120)
    if build.returncode != 0:
        print(f"roziduv2-cc -O{level} failed ({build.returncode}):\n{build.stderr}")
        return 1
    if memory == "default":
        with open(os.path.splitext(image)[0] + ".dbg", encoding="utf-8") as file:
            memory = str(json.load(file)["memory"]["needed"])
        fault = FixedSizeFault(cc, level, source, image + ".fixed.bin")
        if fault:
            print(fault)
            return 1
    elif memory == "grow":
        with open(os.path.splitext(image)[0] + ".dbg", encoding="utf-8") as file:
            memory = str(json.load(file)["memory"]["needed"])
        if int(memory) <= 10000:
            print(f"--grow-memory: the .dbg asks for {memory} bytes, no more than the 10000 given")
            return 1
    run = subprocess.run([cli, "--json", "--memory-size", memory, "--max-steps", "100000000", image], capture_output=True, text=True,
                         timeout=300)
    report = json.loads(run.stdout)
    faults = []
    if report["end"] != expected_end:
        faults.append(f"the run ended with {report['end']}: {run.stderr.strip()}")
    r0 = int(report["registers"]["R0"], 16)
    if r0 != expected_r0:
        faults.append(f"R0 = {r0:#x}, expected {expected_r0:#x}")
    lines = report["monitor"]["lines"]
    if lines != expected_lines:
        first = next((i for i, (a, b) in enumerate(zip(lines, expected_lines)) if a != b),
                     min(len(lines), len(expected_lines)))
        faults.append(f"monitor lines differ from line {first + 1}:\n  got      {lines}\n  expected {expected_lines}")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
