#!/usr/bin/env bash
# Installs the Debian packages of the comparison run (only those missing).
set -euo pipefail
exec "$(dirname "$0")/../../scripts/install-deps.sh" python3-matplotlib python3-numpy \
  libplplot-dev plplot-driver-cairo libeccodes-dev libeccodes-tools pkg-config gcc bc
