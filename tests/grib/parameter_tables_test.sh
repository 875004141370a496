#!/bin/sh
# Runs tools/gen_grib_tables.py on the definitions of libeccodes-data into a
# temporary folder and checks that the committed table equals its output,
# byte for byte. Usage: parameter_tables_test.sh SOURCE_DIR
# Exits 77 (skipped) when Debian's python3 or the definitions are not installed.
set -eu
root=$1
src=/usr/share/eccodes/definitions
if [ ! -x /usr/bin/python3 ]; then
    echo "skipped: /usr/bin/python3 is not installed (scripts/install-deps.sh installs it)"
    exit 77
fi
if [ ! -f "$src/grib2/tables/30/4.2.0.1.table" ]; then
    echo "skipped: $src is missing; install the Debian package libeccodes-data (scripts/install-deps.sh)"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
/usr/bin/python3 "$root/tools/gen_grib_tables.py" "$src" "$tmp" >/dev/null
f=parameter_tables.cpp
if ! cmp -s "$tmp/$f" "$root/grib/generated/$f"; then
    echo "grib/generated/$f differs from what tools/gen_grib_tables.py makes of $src:"
    diff -u "$root/grib/generated/$f" "$tmp/$f" | head -40 || true
    exit 1
fi
