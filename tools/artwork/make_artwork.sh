#!/usr/bin/env bash
# Rebuilds resources/startup.png (over the coastline of data/map.dat) and
# resources/kivar.png from make_artwork.cpp.
set -euo pipefail
cd "$(dirname "$0")/../.."
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++20 -O2 -Wall -Wextra tools/artwork/make_artwork.cpp -lz -o "$tmp/make_artwork"
"$tmp/make_artwork" resources data/map.dat
