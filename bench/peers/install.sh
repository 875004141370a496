#!/usr/bin/env bash
# Installs the Debian packages of the comparison run (only those missing).
# Runs apt-get as root, or through sudo.
set -euo pipefail
packages=(python3-matplotlib python3-numpy libplplot-dev plplot-driver-cairo libeccodes-dev libeccodes-tools pkg-config gcc bc)
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
