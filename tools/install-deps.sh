#!/usr/bin/env bash
# Installs the Debian 12 packages that are missing; a no-op when everything is present.
# Needs root (or sudo) only when something is missing.
#
#   tools/install-deps.sh [run|test] [--no-viewer]
#
# run (the default): what building and running the window (roziduv2), the runner
#   (roziduv2-cli), the assembler (roziduv2-asm) and the compiled help documents need,
#   and clang with LLVM for the C compiler.
# test: all of that and what only the tests, the benchmarks and the fuzzer need.
# --no-viewer: leave out the CHM viewer (xchm), e.g. on a machine without a desktop.
set -euo pipefail

run_packages=(
  cmake ninja-build g++ python3
  clang llvm-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-translations-l10n # Qt's own Chinese texts for the standard dialogs
  nlohmann-json3-dev
  fp-utils # chmcmd and chmls compile and list the help documents
  fonts-wqy-microhei
  xchm xdg-utils
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  libclang-rt-14-dev # libFuzzer and the sanitizers' runtime for clang
  xvfb xdotool imagemagick x11-utils
  openbox wmctrl # a window manager on the virtual display, to try the window
  csmith libcsmith-dev # random C programs for the compiler's differential tests, and the
                       # header (csmith/csmith.h) that those programs include
  dpkg-dev desktop-file-utils lintian pandoc # the package (make package), its desktop entry
                                             # and its manual pages, and their checks
)

usage() {
  echo "usage: $0 [run|test] [--no-viewer]" >&2
  exit 2
}

set_name=run
viewer=yes
for arg in "$@"; do
  case "$arg" in
    run | test) set_name=$arg ;;
    --no-viewer) viewer=no ;;
    *) usage ;;
  esac
done

packages=("${run_packages[@]}")
[ "$set_name" = run ] || packages+=("${test_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  [ "$viewer" = yes ] || [ "$p" != xchm ] || continue
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
# Wait for another package manager (a second make, an automatic update) instead of failing.
wait_lock=(-o DPkg::Lock::Timeout=300)
$SUDO apt-get "${wait_lock[@]}" update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get "${wait_lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
