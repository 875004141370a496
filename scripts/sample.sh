#!/usr/bin/env bash
# Installs what is missing, builds KIVAR, installs it under build/stage and runs
# it on the bundled sample forecast: the inventory of the file, then every
# field (all levels, items and hours) as TEXT files into out/sample_rsm, and
# two weather maps as PNG files into out/maps, then the inventory and a map
# of the bundled GRIB2 sample (the maps copied to docs/ for the README).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh
scripts/build.sh build
cmake --install build --prefix build/stage > /dev/null

kivar="$root/build/stage/bin/kivar"
sample="$root/build/stage/share/kivar/samples/sample_rsm.gpv"
mkdir -p out
cd out # the start folder: gpv.log is written here
echo "== kivar info $sample"
"$kivar" info "$sample"
echo "== kivar data $sample --all --save $root/out/sample_rsm"
"$kivar" data "$sample" --all --save "$root/out/sample_rsm"
echo "== kivar data $sample --level 500 --item 23 --hour 24 --csv"
"$kivar" data "$sample" --level 500 --item 23 --hour 24 --csv
echo "== kivar image $sample --level 850 --item 4 --hour 24 --format png --save $root/out/maps"
"$kivar" image "$sample" --level 850 --item 4 --hour 24 --format png --save "$root/out/maps"
echo "== kivar image $sample --level 850 --item 23 --hour 24 --format png --vector-density 3 --save $root/out/maps"
"$kivar" image "$sample" --level 850 --item 23 --hour 24 --format png --vector-density 3 \
    --save "$root/out/maps"
echo "== kivar image $sample --level 500 --item 102 --hour 24 --format png --contour auto --save $root/out/contours"
"$kivar" image "$sample" --level 500 --item 102 --hour 24 --format png --contour auto \
    --save "$root/out/contours"
cp "$root/out/contours/MD04_ID102_P0500_DT26120400_TM24.png" "$root/docs/map-contour-500.png"
grib="$root/build/stage/share/kivar/samples/sample_msm.grib2"
echo "== kivar info $grib"
"$kivar" info "$grib"
echo "== kivar image $grib --level 'mean sea level' --item 1 --hour 6 --format png --save $root/out/maps"
"$kivar" image "$grib" --level 'mean sea level' --item 1 --hour 6 --format png --save "$root/out/maps"
cp "$root/out/maps/MD05_ID001_Lmean-sea-level_DT26120400_TM06.png" "$root/docs/map-grib-pressure.png"
cp "$root/out/maps/MD04_ID004_P0850_DT26120400_TM24.png" "$root/docs/map-temperature-850.png"
cp "$root/out/maps/MD04_ID024_P0850_DT26120400_TM24.png" "$root/docs/map-wind-850.png"
echo
echo "Fields written: $(ls "$root/out/sample_rsm" | wc -l) TEXT files in $root/out/sample_rsm/"
echo "One CSV file: $(ls "$root"/out/*.csv)"
echo "Log of every field written: $root/out/gpv.log"
echo "Three weather maps: $(ls "$root"/out/maps/*.png | tr '\n' ' ')"
