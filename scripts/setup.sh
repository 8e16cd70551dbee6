#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent: packages that
# are already present are skipped, so running it twice costs one dpkg query.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev googletest libgtest-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev
  wine wine64
  xvfb xauth xdotool imagemagick
  nlohmann-json3-dev libcli11-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
