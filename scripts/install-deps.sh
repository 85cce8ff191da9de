#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test dependencies is missing (run as root).
set -euo pipefail

packages=(
  g++ make cmake pkg-config git clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libboost-dev libboost-filesystem-dev libboost-system-dev
  libpoco-dev nginx-light
  binutils-mingw-w64 gcc-mingw-w64
  juce-modules-source patch fonts-dejavu-core fontconfig-config
  xvfb xdotool x11-apps imagemagick
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg -s "$package" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
