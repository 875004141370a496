#!/bin/sh
# Runs one generator of tools/ on its Debian source into a temporary folder
# and checks that the committed tables equal its output, byte for byte.
# Usage: generated_tables_test.sh ps_widths|stroke|coast|grib SOURCE_DIR
# Exits 77 (skipped) when Debian's python3, a module the generator needs or
# its source is not installed (scripts/install-deps.sh installs them).
set -eu
kind=$1 root=$2 py=/usr/bin/python3 module=os
case $kind in
ps_widths)
    gen=gen_ps_widths.py src=/usr/share/fonts/type1/urw-base35 pkg=fonts-urw-base35
    probe=NimbusRoman-Regular.afm out=plot/text/generated files=ps_width_tables.cpp ;;
stroke)
    gen=gen_stroke_fonts.py src=/usr/share/hershey-fonts pkg=hershey-fonts-data
    probe=timesr.jhf out=plot/text/generated files="stroke_tables.h stroke_tables.cpp" ;;
coast)
    gen=gen_world_coast.py src=/usr/share/gmt-gshhg pkg=gmt-gshhg-low module=netCDF4
    probe=binned_GSHHS_l.nc out=engine/generated files="coast_c.bin coast_l.bin coast_i.bin" ;;
grib)
    gen=gen_grib_tables.py src=/usr/share/eccodes/definitions pkg=libeccodes-data
    probe=grib2/tables/30/4.2.0.1.table out=grib/generated files=parameter_tables.cpp ;;
*)
    echo "unknown table kind $kind" >&2
    exit 2 ;;
esac
if ! [ -x $py ] || ! $py -c "import $module" 2>/dev/null; then
    echo "skipped: $py with its module $module is not installed (scripts/install-deps.sh)"
    exit 77
fi
if [ ! -f "$src/$probe" ]; then
    echo "skipped: $src/$probe is missing; install the Debian package $pkg (scripts/install-deps.sh)"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
$py "$root/tools/$gen" "$src" "$tmp" >/dev/null
status=0
for f in $files; do
    if ! cmp -s "$tmp/$f" "$root/$out/$f"; then
        echo "$out/$f differs from what tools/$gen makes of $src:"
        diff -u "$root/$out/$f" "$tmp/$f" | head -40 || true
        status=1
    fi
done
exit $status
