#!/bin/sh
# Runs tools/gen_world_coast.py on the GSHHG files of the Debian package
# gmt-gshhg-low into a temporary folder and checks that the committed
# coastlines equal its output, byte for byte.
# Usage: world_coast_test.sh SOURCE_DIR
# Exits 77 (skipped) when Debian's python3, its netCDF module or the shoreline
# files are not installed.
set -eu
root=$1
src=/usr/share/gmt-gshhg
py=/usr/bin/python3
if ! [ -x $py ] || ! $py -c "import netCDF4" 2>/dev/null; then
    echo "skipped: $py with the netCDF4 module (python3-netcdf4) is not installed"
    exit 77
fi
if [ ! -f "$src/binned_GSHHS_l.nc" ]; then
    echo "skipped: $src/binned_GSHHS_l.nc is missing; install the Debian package gmt-gshhg-low (scripts/install-deps.sh)"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
$py "$root/tools/gen_world_coast.py" "$src" "$tmp" >/dev/null
status=0
for r in c l i; do
    if ! cmp "$tmp/coast_$r.bin" "$root/engine/generated/coast_$r.bin"; then
        echo "engine/generated/coast_$r.bin differs from what tools/gen_world_coast.py makes of $src"
        status=1
    fi
done
exit $status
