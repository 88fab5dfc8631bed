#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Idempotent: packages already present are left alone; uses sudo when not root.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config clang-format
  freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libx11-dev
  libimgui-dev libstb-dev
  libgtest-dev googletest
  libgeographiclib-dev
  xvfb xauth xdotool x11-utils imagemagick
  assimp-utils python3-open3d
  clang-14 libclang-rt-14-dev llvm-14
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
