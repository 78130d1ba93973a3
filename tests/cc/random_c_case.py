#!/usr/bin/env python3
"""Random C programs compiled by roziduv2-cc at -O0 and -O2 against the host's clang.

random_c_case.py CC CLI HOSTCC WORKDIR FIRST_SEED COUNT

Each program holds 4 to 14 variables of mixed integer types that a loop updates with random
expressions, swaps and conditional assignments, and prints a hash of them: more live values
than home registers, phi cycles and narrow types for the register allocation and the
extensions; in half of them some variables are bit-fields of a packed structure wider than
64 bits. The host runs it with -fwrapv, so signed wrapping agrees with the machine.
"""
import os
import random
import subprocess
import sys

TYPES = ["int", "unsigned", "long", "unsigned long", "short", "unsigned char", "signed char"]
# Bit-fields take many instructions at -O0: room for the biggest programs.
MEMORY = str(1 << 20)
HOST_SHIM = r"""
#include <stdio.h>
void __roz_print(unsigned long n) { printf("%lu\n", n & 0xffffffffu); }
"""


def program(seed):
    r = random.Random(seed)
    n = r.randint(4, 14)
    vs = [f"v{i}" for i in range(n)]
    ts = [r.choice(TYPES) for _ in vs]
    # Half the programs keep some variables in bit-fields of a packed structure, whose runs
    # are wider than 64 bits (its own generator: the other draws stay as they were).
    fields = random.Random(-seed)
    packed = fields.random() < 0.5
    members = []
    if packed:
        for i, t in enumerate(ts):
            if t != "signed char" and t != "unsigned char" and fields.random() < 0.6:
                width = fields.randint(1, 64 if "long" in t else 16 if "short" in t else 32)
                members.append(f"{t} v{i} : {width};")
                vs[i] = f"b.v{i}"

    def expr(d=0):
        if d > 2 or r.random() < 0.3:
            return r.choice(vs) if r.random() < 0.7 else str(r.randint(-300, 300))
        op = r.choice(["+", "-", "*", "&", "|", "^", "/", "%", "<<", ">>", "<", ">=", "==", "!="])
        a, b = expr(d + 1), expr(d + 1)
        if op in "/%":
            return f"(({a}) {op} (({b}) | 1))" if r.random() < 0.5 else f"(({a}) {op} (unsigned)(({b}) | 1))"
        if op in ("<<", ">>"):
            return f"(({a}) {op} (({b}) & 7))"
        return f"(({a}) {op} ({b}))"

    lines = ["#include <roziduv2.h>"]
    if members:
        lines += ["#pragma pack(1)", "struct B { " + " ".join(members) + " };", "#pragma pack()"]
    lines.append("__attribute__((noinline)) static unsigned long f(int seed) {")
    if members:
        lines.append("  struct B b;")
    for v, t in zip(vs, ts):
        lines.append(f"  {'' if v.startswith('b.') else t + ' '}{v} = ({t})(seed * {r.randint(1, 99)} + {r.randint(-50, 50)});")
    lines.append("  unsigned long h = 0;")
    lines.append(f"  for (int k = 0; k < {r.randint(1, 12)}; ++k) {{")
    for _ in range(r.randint(3, 10)):
        v = r.randrange(n)
        if r.random() < 0.2:
            w = r.randrange(n)
            lines.append(f"    {{ {ts[v]} t = {vs[v]}; {vs[v]} = ({ts[v]}){vs[w]}; {vs[w]} = ({ts[w]})t; }}")
        elif r.random() < 0.2:
            lines.append(f"    if ({expr()}) {vs[v]} = ({ts[v]})({expr()});")
        else:
            lines.append(f"    {vs[v]} = ({ts[v]})({expr()});")
    lines.append("    h = h * 31 + (unsigned long)(" + " ^ ".join(f"(unsigned long){v}" for v in vs) + ");")
    lines.append("  }")
    lines.append("  return h;")
    lines.append("}")
    lines.append("int main(void) { for (int s = 0; s < 3; ++s) { unsigned long x = f(s); print(x); print(x >> 32); }"
                 " return 0; }")
    return "\n".join(lines) + "\n"


def main():
    cc, cli, hostcc, workdir, first, count = sys.argv[1:7]
    include = os.path.join(os.path.dirname(cc), "include")
    os.makedirs(workdir, exist_ok=True)
    shim = os.path.join(workdir, "host_shim.c")
    with open(shim, "w", encoding="utf-8") as file:
        file.write(HOST_SHIM)
    faults = 0
    for seed in range(int(first), int(first) + int(count)):
        source = os.path.join(workdir, f"random{seed}.c")
        with open(source, "w", encoding="utf-8") as file:
            file.write(program(seed))
        host = os.path.join(workdir, f"random{seed}.host")
        subprocess.run([hostcc, "-O0", "-w", "-fwrapv", "-I", include, source, shim, "-o", host], check=True)
        expected = subprocess.run([host], capture_output=True, text=True, timeout=30).stdout
        for level in ("0", "2"):
            image = os.path.join(workdir, f"random{seed}.O{level}.bin")
            build = subprocess.run([cc, f"-O{level}", "--memory-size", MEMORY, source, "-o", image],
                                   capture_output=True, text=True, timeout=120)
            got = ""
            if build.returncode == 0:
                got = subprocess.run([cli, "--memory-size", MEMORY, "--max-steps", "10000000", image],
                                     capture_output=True, text=True, timeout=120).stdout
            if build.returncode != 0 or got != expected:
                print(f"seed {seed} at -O{level} differs from the host ({source}):\n{build.stderr}")
                faults += 1
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
