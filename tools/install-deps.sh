#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running need; a no-op when
# everything is present. Needs root (or sudo) only when something is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fp-utils
  fonts-wqy-microhei
  xvfb xdotool imagemagick x11-utils
  xchm xdg-utils
)
if [ "${1:-}" = "--no-viewer" ]; then
  packages=("${packages[@]/xchm}")
fi
missing=()
for p in "${packages[@]}"; do
  [ -n "$p" ] || continue
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
