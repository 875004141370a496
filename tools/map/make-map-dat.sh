#!/usr/bin/env bash
# Regenerates data/map.dat from the Natural Earth land outlines of the npm
# package world-atlas (needs node/npm and python3; not part of the build).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cd "$here"
npm install --no-save --silent
python3 gen_map_dat.py node_modules/world-atlas/land-10m.json ../../data/map.dat
