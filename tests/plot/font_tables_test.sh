#!/bin/sh
# Runs one font generator of tools/ on its Debian source into a temporary
# folder and checks that the committed tables equal its output, byte for byte.
# Usage: font_tables_test.sh ps_widths|stroke SOURCE_DIR
# Exits 77 (skipped) when python3 or the generator's source is not installed.
set -eu
kind=$1
root=$2
case $kind in
ps_widths)
    gen=gen_ps_widths.py src=/usr/share/fonts/type1/urw-base35 pkg=fonts-urw-base35
    probe=NimbusRoman-Regular.afm files="ps_width_tables.cpp" ;;
stroke)
    gen=gen_stroke_fonts.py src=/usr/share/hershey-fonts pkg=hershey-fonts-data
    probe=timesr.jhf files="stroke_tables.h stroke_tables.cpp" ;;
*)
    echo "unknown table kind $kind" >&2
    exit 2 ;;
esac
if ! command -v python3 >/dev/null 2>&1; then
    echo "skipped: python3 is not installed (scripts/install-deps.sh installs it)"
    exit 77
fi
if [ ! -f "$src/$probe" ]; then
    echo "skipped: $src/$probe is missing; install the Debian package $pkg (scripts/install-deps.sh)"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 "$root/tools/$gen" "$src" "$tmp" >/dev/null
status=0
for f in $files; do
    if ! cmp -s "$tmp/$f" "$root/plot/text/generated/$f"; then
        echo "plot/text/generated/$f differs from what tools/$gen makes of $src:"
        diff -u "$root/plot/text/generated/$f" "$tmp/$f" | head -40 || true
        status=1
    fi
done
exit $status
