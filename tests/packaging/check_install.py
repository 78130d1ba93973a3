#!/usr/bin/env python3
"""Installs the build into a temporary DESTDIR and builds the Debian package, then checks both.

usage: check_install.py --build DIR --work DIR --cpack CPACK --icon-sizes N... --window-probe SO

The installed programs run from a folder outside both trees: roziduv2-cli --help, and a small
C program compiled by roziduv2-cc (also through a link to it) and run by roziduv2-cli, so the
compiler finds its headers and C library in the installed data folder. The window runs
offscreen with the probe SO preloaded (window_probe.cpp), also through a link: it opens the
image named on its command line, and both help commands hand their documents from the
installed data folder to the desktop's opener without a box; a missing image named there gets
the Open command's box. The desktop entry passes desktop-file-validate, each icon is a PNG of
its folder's size, and the package holds every expected file and passes lintian without
errors.
"""
import argparse
import json
import os
import shutil
import struct
import subprocess
import sys

PROGRAMS = ["roziduv2", "roziduv2-cli", "roziduv2-asm", "roziduv2-cc"]
PROGRAM_C = """#include <roziduv2.h>
#include <string.h>
int main(void) {
    print((int)strlen("four"));
    return 7;
}
"""


def expected_files(icon_sizes):
    files = [f"bin/{p}" for p in PROGRAMS]
    files += [f"share/man/man1/{p}.1.gz" for p in PROGRAMS]
    files += [f"share/bash-completion/completions/{p}" for p in PROGRAMS]
    files += [f"share/icons/hicolor/{n}x{n}/apps/roziduv2.png" for n in icon_sizes]
    files += ["share/applications/roziduv2.desktop",
              "share/roziduv2/ROZIDUV2.chm", "share/roziduv2/VURIZUREZ.chm",
              "share/roziduv2/site/index.html",
              "share/roziduv2/include/roziduv2.h", "share/roziduv2/include/stdio.h",
              "share/roziduv2/runtime/stdio.c",
              "share/doc/roziduv2/copyright", "share/doc/roziduv2/changelog.Debian.gz"]
    return files


def run(command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        sys.exit(f"{' '.join(command)}: exit status {result.returncode}\n{result.stdout}{result.stderr}")
    return result.stdout


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


def check_tree(usr, icon_sizes, work):
    missing = [f for f in expected_files(icon_sizes) if not os.path.isfile(os.path.join(usr, f))]
    if missing:
        sys.exit("not installed: " + ", ".join(missing))
    for n in icon_sizes:
        size = png_size(f"{usr}/share/icons/hicolor/{n}x{n}/apps/roziduv2.png")
        if size != (int(n), int(n)):
            sys.exit(f"icon {n}x{n} is {size}")
    run(["desktop-file-validate", f"{usr}/share/applications/roziduv2.desktop"])

    # Nothing of the build tree may help: the environment's overrides go, and the programs
    # start from a folder of their own.
    env = {k: v for k, v in os.environ.items() if not k.startswith("ROZIDUV2_")}
    folder = os.path.join(work, "elsewhere")
    os.makedirs(folder)
    if "usage:" not in run([f"{usr}/bin/roziduv2-cli", "--help"], cwd=folder, env=env):
        sys.exit("roziduv2-cli --help prints no usage")
    with open(os.path.join(folder, "four.c"), "w") as f:
        f.write(PROGRAM_C)
    link = os.path.join(work, "links", "roziduv2-cc")
    os.makedirs(os.path.dirname(link))
    os.symlink(f"{usr}/bin/roziduv2-cc", link)
    for compiler in (f"{usr}/bin/roziduv2-cc", link):
        run([compiler, "-O1", "four.c", "-o", "four.bin"], cwd=folder, env=env)
        output = run([f"{usr}/bin/roziduv2-cli", "--regs", "four.bin"], cwd=folder, env=env)
        if not output.startswith("4\n") or "R0" not in output:
            sys.exit(f"{compiler}: the program printed\n{output}")
    return folder, env


def probe_window(program, image, actions, folder, env, probe):
    """Runs the window on image with the probe preloaded; returns the probe's report."""
    env = dict(env, QT_QPA_PLATFORM="offscreen", ROZ_PROBE_ACTIONS=" ".join(actions),
               LD_PRELOAD=" ".join(filter(None, [probe, env.get("LD_PRELOAD")])))
    result = subprocess.run([program, image], cwd=folder, env=env, capture_output=True, text=True, timeout=60)
    lines = [line for line in result.stdout.splitlines() if line.startswith("{")]
    if result.returncode != 0 or len(lines) != 1:
        sys.exit(f"{program} {image}: exit status {result.returncode}, no probe report\n"
                 f"{result.stdout}{result.stderr}")
    return json.loads(lines[0])


def check_window(usr, work, folder, env, probe):
    link = os.path.join(work, "links", "roziduv2")
    os.symlink(f"{usr}/bin/roziduv2", link)
    data = os.path.realpath(f"{usr}/share/roziduv2")
    expected = [{"triggered": "MnuContent"}, {"opened": f"{data}/ROZIDUV2.chm"},
                {"triggered": "MnuShowInfo"}, {"opened": f"{data}/VURIZUREZ.chm"}]
    for program in (f"{usr}/bin/roziduv2", link):
        report = probe_window(program, "four.bin", ["MnuContent", "MnuShowInfo"], folder, env, probe)
        if report["events"] != expected:
            sys.exit(f"{program}: the help commands gave {report['events']}, not {expected}")
        if "已打开Bin文件:" + os.path.join(folder, "four.bin") not in report["info"]:
            sys.exit(f"{program} four.bin: the image was not opened: {report['info']}")
    missing = os.path.join(folder, "missing.bin")
    events = probe_window(link, "missing.bin", [], folder, env, probe)["events"]
    if [e.get("box") for e in events] != ["OpenFailed"] or not events[0]["text"].startswith(
            "装入Bin文件失败:" + missing + "\r\n"):
        sys.exit(f"roziduv2 missing.bin: {events}, not the box that Open shows")


def check_package(deb, icon_sizes):
    listing = run(["dpkg-deb", "--contents", deb])
    paths = {line.split()[-1].lstrip(".") for line in listing.splitlines() if line}
    missing = [f for f in expected_files(icon_sizes) if f"/usr/{f}" not in paths]
    if missing:
        sys.exit("not in the package: " + ", ".join(missing))
    depends = run(["dpkg-deb", "--field", deb, "Depends"])
    for needed in ("libqt6widgets6", "libllvm14", "clang-14", "fonts-wqy-microhei"):
        if needed not in depends:
            sys.exit(f"the package does not depend on {needed}: {depends}")
    if shutil.which("lintian"):
        # lintian exits non-zero for errors; warnings and notes are printed for the log.
        result = subprocess.run(["lintian", "--no-tag-display-limit", deb], capture_output=True, text=True)
        print(result.stdout, end="")
        errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
        if errors or result.returncode not in (0, 2):
            sys.exit(f"lintian: exit status {result.returncode}\n{result.stderr}")
    else:
        print("lintian not installed: the package is not linted")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--icon-sizes", nargs="+", required=True)
    parser.add_argument("--window-probe", required=True)
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    destdir = os.path.join(work, "destdir")
    run(["cmake", "--install", args.build, "--prefix", "/usr"], env=dict(os.environ, DESTDIR=destdir))
    folder, env = check_tree(destdir + "/usr", args.icon_sizes, work)
    check_window(destdir + "/usr", work, folder, env, os.path.abspath(args.window_probe))

    package = os.path.join(work, "package")
    run([args.cpack, "--config", os.path.join(args.build, "CPackConfig.cmake"), "-B", package])
    debs = [f for f in os.listdir(package) if f.endswith(".deb")]
    if len(debs) != 1:
        sys.exit(f"cpack made {debs}")
    check_package(os.path.join(package, debs[0]), args.icon_sizes)
    shutil.rmtree(work)


if __name__ == "__main__":
    main()
