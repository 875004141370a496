#!/usr/bin/env bash
# Runs kivar side by side with the tools a forecaster would otherwise use,
# on the same generated full-size MSM forecast, and prints times and ratios:
#   - decoding every field: kivar's indexed extraction (bench_gpv) against
#     ecCodes reading GRIB2 messages of the same values, 10 bits each;
#   - the text dump of every field: `kivar data --all` against grib_get_data;
#   - weather maps (650 x 600 PNG, cells, colour bar, coastline, title): one
#     map in its own process, and each further map of a run in one process,
#     kivar against PLplot (C) and matplotlib.
# Installs the Debian packages it needs first (install.sh). Not part of ctest:
#   bench/peers/run.sh [BUILD_DIR]   (default: build; built with the benchmarks)
# Each time is the minimum and maximum of REPS runs (default 3).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
reps="${REPS:-3}"
"$here/install.sh"

work="${TMPDIR:-/tmp}/kivar_peers_$$"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$root/data/map.dat" .
"$build/tools/gpvgen_samples" . full
kivar="$build/app/kivar"

now() { date +%s.%N; }
# min max of REPS wall times of a command, in seconds
timed() {
  local lo="" hi="" t0 t1 d
  for ((r = 0; r < reps; ++r)); do
    t0=$(now); "$@" > /dev/null 2>&1 || echo "failed: $*" >&2; t1=$(now)
    d=$(echo "$t1 - $t0" | bc -l)
    if [ -z "$lo" ] || (($(echo "$d < $lo" | bc -l))); then lo=$d; fi
    if [ -z "$hi" ] || (($(echo "$d > $hi" | bc -l))); then hi=$d; fi
  done
  echo "$lo $hi"
}
ratio() { echo "scale=1; $1 / $2" | bc -l; }
line() { printf "%-44s %10.4f %10.4f\n" "$1" "$2" "$3"; }

echo "== building the peer programs"
cc=(gcc -O2 -std=gnu11)
"${cc[@]}" "$here/grib_write.c" -o grib_write $(pkg-config --cflags --libs eccodes)
"${cc[@]}" "$here/grib_decode.c" -o grib_decode $(pkg-config --cflags --libs eccodes)
"${cc[@]}" "$here/plplot_map.c" -o plplot_map $(pkg-config --cflags --libs plplot) -lm

echo "== the fields as TEXT (kivar) and as GRIB2 (ecCodes)"
mkdir -p txt
"$kivar" data msm_full.gpv --all --save txt > /dev/null 2>&1
ls txt/*.txt | sort > fields.list
nfields=$(wc -l < fields.list)
xargs ./grib_write all.grib2 < fields.list
echo "$nfields fields, $(stat -c %s all.grib2) bytes of GRIB2"

echo
printf "%-44s %10s %10s\n" "" "min s" "max s"
echo "== decoding every field ($nfields x 15,120 values)"
ecmin="" ecmax=""
for ((r = 0; r < reps; ++r)); do
  s=$(./grib_decode all.grib2 | awk '{print $3}')
  if [ -z "$ecmin" ] || (($(echo "$s < $ecmin" | bc -l))); then ecmin=$s; fi
  if [ -z "$ecmax" ] || (($(echo "$s > $ecmax" | bc -l))); then ecmax=$s; fi
done
line "ecCodes, codes_get_double_array" "$ecmin" "$ecmax"
kv=$(TMPDIR="$work" "$build/bench/bench_gpv" --benchmark_filter=DecodeAllFields \
  --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=false \
  --benchmark_format=csv 2>/dev/null | grep '^"BM_DecodeAllFields"' | cut -d, -f3)
kmin=$(echo "$kv" | sort -g | head -1) kmax=$(echo "$kv" | sort -g | tail -1)
kmin=$(echo "$kmin / 1000" | bc -l) kmax=$(echo "$kmax / 1000" | bc -l)
line "kivar, indexed extraction (wall)" "$kmin" "$kmax"
echo "kivar decodes $(ratio "$ecmin" "$kmax") to $(ratio "$ecmax" "$kmin") x as fast"

echo "== text dump of every field"
read -r gmin gmax < <(timed sh -c 'grib_get_data all.grib2 > dump.txt')
line "ecCodes, grib_get_data" "$gmin" "$gmax"
rm -f dump.txt
read -r dmin dmax < <(timed "$kivar" data msm_full.gpv --all --save txt)
line "kivar data --all (TEXT files)" "$dmin" "$dmax"
echo "kivar writes $(ratio "$gmin" "$dmax") to $(ratio "$gmax" "$dmin") x as fast"
rm -rf txt/*.txt

echo "== one map in its own process (850 hPa temperature, hour 6)"
field=$(grep 'ID004_P0850.*_TM06' fields.list | head -1)
"$kivar" data msm_full.gpv --level 850 --item 4 --hour 6 --save txt > /dev/null 2>&1
field=txt/$(basename "$field")
mkdir -p maps
read -r kmin kmax < <(timed "$kivar" image msm_full.gpv --level 850 --item 4 --hour 6 \
  --format png --save maps)
line "kivar image --format png" "$kmin" "$kmax"
read -r pmin pmax < <(timed ./plplot_map "$field" map.dat 1 maps/plplot)
line "PLplot (C, pngcairo)" "$pmin" "$pmax"
read -r mmin mmax < <(timed /usr/bin/python3 "$here/mpl_map.py" "$field" map.dat 1 maps/mpl)
line "matplotlib (Agg)" "$mmin" "$mmax"
echo "kivar is $(ratio "$pmin" "$kmax") to $(ratio "$pmax" "$kmin") x as fast as PLplot," \
  "$(ratio "$mmin" "$kmax") to $(ratio "$mmax" "$kmin") x as fast as matplotlib"

echo "== each further map of a run of 18 in one process"
n=18
per() { # min max of the seconds per map printed by a peer over REPS runs
  local lo="" hi="" s
  for ((r = 0; r < reps; ++r)); do
    s=$("$@" | tail -1)
    if [ -z "$lo" ] || (($(echo "$s < $lo" | bc -l))); then lo=$s; fi
    if [ -z "$hi" ] || (($(echo "$s > $hi" | bc -l))); then hi=$s; fi
  done
  echo "$lo $hi"
}
read -r kmin kmax < <(timed "$kivar" image msm_t850.gpv --all --format png --save maps)
kmin=$(echo "$kmin / $n" | bc -l) kmax=$(echo "$kmax / $n" | bc -l)
line "kivar image --all (18 maps), per map" "$kmin" "$kmax"
read -r pmin pmax < <(per ./plplot_map "$field" map.dat $n maps/plplot)
line "PLplot, per map" "$pmin" "$pmax"
read -r mmin mmax < <(per /usr/bin/python3 "$here/mpl_map.py" "$field" map.dat $n maps/mpl)
line "matplotlib, per map" "$mmin" "$mmax"
echo "kivar is $(ratio "$pmin" "$kmax") to $(ratio "$pmax" "$kmin") x as fast as PLplot," \
  "$(ratio "$mmin" "$kmax") to $(ratio "$mmax" "$kmin") x as fast as matplotlib"

echo "== GRIB2: inventory, decoding beside the ecCodes library, data --all (bench_grib)"
TMPDIR="$work" "$build/bench/bench_grib" --benchmark_repetitions="$reps" \
  --benchmark_report_aggregates_only=false 2>/dev/null | grep '^BM_' | grep -v '_mean\|_median\|_stddev\|_cv'
