#!/usr/bin/env python3
"""Figures of the C compiler, printed (not asserted) by `make bench`.

bench_cc.py CC CLI SOURCE_DIR EXAMPLES_BINARY_DIR WORKDIR [benchmark options, ignored]

1. For each program in bench/cc/programs, at -O0 and -O2: instructions executed, code size
   (the image's bytes), the run loop's time and the compile's processor time.
2. For each example written both in assembly and in C: the instructions of the C version at
   -O2 against the hand-written one's.
3. The compile time of a generated 1000-line C program at -O0 and -O2.
4. The image of a hello world at -O0, -O2 and -Os with the compiler's defaults (printf of a
   plain format, printf with a width, sprintf), and the memory its .dbg asks for (the window's
   default memory is 10000 bytes).
"""
import glob
import json
import os
import re
import resource
import subprocess
import sys

MEMORY = "65536"


def Compile(cc, level, source, image, memory=MEMORY):
    """The compile's processor seconds (the compiler's and clang's), whatever else the machine runs."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run([cc, f"-O{level}", "-g0", "--memory-size", memory, source, "-o", image], check=True,
                   capture_output=True, text=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime


def RunImage(cli, image, extra=()):
    """(instructions, seconds of the run loop, monitor lines) of one run."""
    run = subprocess.run([cli, "--json", "--stats", "--memory-size", MEMORY, *extra, image], capture_output=True,
                         text=True)
    report = json.loads(run.stdout)
    # The run loop's own time, from its rate (its "seconds" line has only milliseconds).
    match = re.search(r"MIPS:\s*([0-9.]+)", run.stderr)
    seconds = report["instructions"] / (float(match.group(1)) * 1e6) if match and float(match.group(1)) else float("nan")
    return report["instructions"], seconds, report["monitor"]["lines"]


def ThousandLines(path):
    """A program of about 1000 lines: 26 functions of loops, branches and arithmetic."""
    lines = ["#include <roziduv2.h>"]
    for f in range(26):
        lines += [f"static int f{f}(int a, int b) {{", "    int s = 0;", "    for (int i = 0; i < a; ++i) {"]
        for k in range(8):
            lines += [f"        if ((i ^ {k}) & 1)", f"            s += i * {k + f} - b;", "        else",
                      f"            s ^= (b << {k % 5}) + {f};"]
        lines += ["    }", "    return s;", "}"]
    lines += ["int main(void) {", "    int t = 0;"]
    lines += [f"    t += f{f}({f % 7 + 1}, t);" for f in range(26)]
    lines += ["    print(t);", "    return 0;", "}"]
    with open(path, "w", encoding="utf-8") as file:
        file.write("\n".join(lines) + "\n")
    return len(lines)


def main():
    cc, cli, source_dir, examples_dir, work = sys.argv[1:6]
    os.makedirs(work, exist_ok=True)

    print(f"{'program':<10} {'level':<5} {'instructions':>12} {'image B':>10} {'run ms':>8} {'compile ms':>10}  monitor")
    for source in sorted(glob.glob(os.path.join(source_dir, "bench", "cc", "programs", "*.c"))):
        name = os.path.splitext(os.path.basename(source))[0]
        for level in (0, 2):
            image = os.path.join(work, f"{name}.O{level}.bin")
            compile_seconds = Compile(cc, level, source, image)
            instructions, seconds, lines = RunImage(cli, image)
            print(f"{name:<10} -O{level:<3} {instructions:>12} {os.path.getsize(image):>10} {seconds * 1000:>8.3f} "
                  f"{compile_seconds * 1000:>10.0f}  {' '.join(map(str, lines[:4]))}")

    print(f"\n{'example':<10} {'asm instr':>10} {'C -O2 instr':>12} {'C/asm':>6}")
    for source in sorted(glob.glob(os.path.join(source_dir, "examples", "c", "*.c"))):
        name = os.path.splitext(os.path.basename(source))[0]
        assembled = os.path.join(examples_dir, f"{name}.bin")
        if not os.path.exists(assembled):
            continue
        keys = os.path.join(source_dir, "examples", "c", f"{name}.keys")
        asm_keys = os.path.join(source_dir, "examples", f"{name}.keys")
        image = os.path.join(work, f"example.{name}.bin")
        Compile(cc, 2, source, image)
        c_count = RunImage(cli, image, ["--keys", keys] if os.path.exists(keys) else [])[0]
        asm_count = RunImage(cli, assembled, ["--keys", asm_keys] if os.path.exists(asm_keys) else [])[0]
        # Polling loops (the keyboard) run until a key, so their count says little.
        note = "  (polls the keyboard: counts the wait)" if os.path.exists(keys) else ""
        print(f"{name:<10} {asm_count:>10} {c_count:>12} {c_count / asm_count:>6.2f}{note}")
    print("(the C counts include the start-up code: globals copied and cleared, the call of main)")

    generated = os.path.join(work, "thousand.c")
    count = ThousandLines(generated)
    print()
    for level in (0, 2):
        image = os.path.join(work, f"thousand.O{level}.bin")
        seconds = Compile(cc, level, generated, image, memory=str(1 << 22))
        print(f"compile time (processor) of a generated {count}-line program at -O{level}: {seconds * 1000:.0f} ms "
              f"(image {os.path.getsize(image)} bytes)")

    # printf of a plain constant format (a counter), printf with widths (printf's counter) and
    # sprintf (the formatter), each a hello world.
    hellos = {
        "printf hello world": 'printf("Hello, world! %d\\n", 42);',
        "printf with a width": 'printf("Hello, world! %5d\\n", 42);',
        "sprintf hello world": 'char text[32]; print(sprintf(text, "Hello, world! %d\\n", 42));',
    }
    print(f"\n{'hello world':<22} {'level':<5} {'image B':>8} {'memory B':>9}")
    for index, (name, statement) in enumerate(hellos.items()):
        hello = os.path.join(work, f"hello{index}.c")
        with open(hello, "w", encoding="utf-8") as file:
            file.write(f"#include <roziduv2.h>\n#include <stdio.h>\nint main(void) {{ {statement} return 0; }}\n")
        for level in ("0", "2", "s"):
            image = os.path.join(work, f"hello{index}.O{level}.bin")
            subprocess.run([cc, f"-O{level}", hello, "-o", image], check=True, capture_output=True, text=True)
            with open(os.path.splitext(image)[0] + ".dbg", encoding="utf-8") as file:
                needed = json.load(file)["memory"]["needed"]
            print(f"{name:<22} {'-O' + level:<5} {os.path.getsize(image):>8} {needed:>9}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
