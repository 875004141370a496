#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing KIVAR need,
# and only those that are missing. Runs apt-get as root, or through sudo.
# Given package names, installs those (where missing) instead.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  zlib1g-dev libfltk1.3-dev libx11-dev fonts-urw-base35 hershey-fonts-data python3
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xdotool imagemagick x11-apps
  pngcheck libtiff-tools ghostscript poppler-utils qpdf
  libeccodes-tools libeccodes-data libproj-dev proj-data libopenjp2-7-dev libaec-dev libdeflate-dev
  libnetcdf-dev netcdf-bin pybind11-dev python3-dev python3-numpy python3-pytest
  python3-xarray python3-dask python3-distributed python3-netcdf4 python3-cfgrib gmt-gshhg-low
)
if [ "${KIVAR_FUZZ:-0}" = 1 ]; then packages+=(clang libclang-rt-14-dev); fi
if [ $# -gt 0 ]; then packages=("$@"); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" != 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
