#!/usr/bin/env python3
"""Runs roziduv2-cli once and checks its exit status, stdout and stderr.

run_case.py CLI --status N [--stdout FILE] [--empty-stdout] [--stdout-has TEXT]...
            [--stderr FILE] [--stderr-has TEXT]...
            [--json FILE] -- ARGUMENTS...

--stdout FILE   stdout must equal the file byte for byte (--stderr FILE: stderr)
--json FILE     stdout must be exactly one JSON object holding every key of the object
                in FILE with the same value (objects compare key by key, recursively)
"""
import argparse
import json
import subprocess
import sys


def contains(actual, expected, path="$"):
    if isinstance(expected, dict):
        if not isinstance(actual, dict):
            return [f"{path}: expected an object, got {actual!r}"]
        faults = []
        for key, value in expected.items():
            if key not in actual:
                faults.append(f"{path}.{key}: missing")
            else:
                faults += contains(actual[key], value, f"{path}.{key}")
        return faults
    return [] if actual == expected else [f"{path}: expected {expected!r}, got {actual!r}"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("--status", type=int, required=True)
    parser.add_argument("--stdout")
    parser.add_argument("--empty-stdout", action="store_true")
    parser.add_argument("--stdout-has", action="append", default=[])
    parser.add_argument("--stderr")
    parser.add_argument("--stderr-has", action="append", default=[])
    parser.add_argument("--json")
    argv = sys.argv[1:]
    split = argv.index("--") if "--" in argv else len(argv)
    options = parser.parse_args(argv[:split])
    options.arguments = argv[split + 1:]

    run = subprocess.run([options.cli] + options.arguments, capture_output=True, timeout=300)
    faults = []
    if run.returncode != options.status:
        faults.append(f"exit status {run.returncode}, expected {options.status}")
    if options.stdout is not None:
        with open(options.stdout, "rb") as file:
            expected = file.read()
        if run.stdout != expected:
            faults.append(f"stdout differs:\n--- got\n{run.stdout!r}\n--- expected\n{expected!r}")
    if options.stderr is not None:
        with open(options.stderr, "rb") as file:
            expected = file.read()
        if run.stderr != expected:
            faults.append(f"stderr differs:\n--- got\n{run.stderr!r}\n--- expected\n{expected!r}")
    if options.empty_stdout and run.stdout:
        faults.append(f"stdout should be empty, got {run.stdout[:200]!r}")
    stdout = run.stdout.decode(errors="replace")
    for text in options.stdout_has:
        if text not in stdout:
            faults.append(f"stdout lacks {text!r}")
    stderr = run.stderr.decode(errors="replace")
    for text in options.stderr_has:
        if text not in stderr:
            faults.append(f"stderr lacks {text!r}")
    if options.json is not None:
        with open(options.json, encoding="utf-8") as file:
            expected = json.load(file)
        try:
            actual = json.loads(run.stdout.decode())
        except (ValueError, UnicodeDecodeError) as error:
            faults.append(f"stdout is not one JSON object: {error}")
        else:
            faults += contains(actual, expected)
    if faults:
        print("\n".join(faults))
        print(f"stderr:\n{stderr}")
        sys.exit(1)


if __name__ == "__main__":
    main()
