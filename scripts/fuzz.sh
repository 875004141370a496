#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz and runs each for a
# bounded time on the committed seed corpus (fuzz/corpus/<target>).
#   scripts/fuzz.sh [SECONDS] [TARGET...]    (default: 60 s; records gpv grib map plot)
# records is the GPV record reader alone (headers and unpacking), gpv the
# whole program on a GPV file (open, every field, export, maps).
# New inputs the fuzzer finds go to build-fuzz/corpus/<target>, crashes to
# build-fuzz/artifacts/. Exits non-zero when a target finds a fault: a crash,
# a sanitizer report, a timeout (10 s for one input) or an exit other than
# the library's deliberate ones. The seed is fixed, so a run is repeatable
# up to the number of inputs that fit in the time.
set -euo pipefail
cd "$(dirname "$0")/.."
KIVAR_FUZZ=1 scripts/install-deps.sh
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(records gpv grib map plot)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKIVAR_FUZZ=ON -DKIVAR_TESTS=OFF -DKIVAR_BENCH=OFF -DKIVAR_GUI=OFF > /dev/null
cmake --build build-fuzz -j 2 --target "${targets[@]/#/fuzz_}"

# Absolute paths: the targets change the current directory while they run,
# and a timeout or crash report is written from inside a run.
out="$(pwd)/build-fuzz"
mkdir -p "$out/artifacts"
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
summary=()
for t in "${targets[@]}"; do
  mkdir -p "$out/corpus/$t"
  echo "== fuzz_$t for $seconds s"
  # A deliberate exit of the library ends a run early with status 0; the
  # target is then started again on the grown corpus with the next seed
  # until its time is used up.
  # The record reader starts from the GPV files' seeds.
  seeds=$t
  [ "$t" = records ] && seeds=gpv
  start=$SECONDS run=0 inputs=0 cov=0
  while left=$((seconds - (SECONDS - start))); [ "$left" -gt 0 ]; do
    run=$((run + 1))
    log="build-fuzz/fuzz_$t.log"
    "$out/fuzz/fuzz_$t" "$out/corpus/$t" "$(pwd)/fuzz/corpus/$seeds" \
      -max_total_time="$left" -seed="$run" -timeout=10 -rss_limit_mb=3072 \
      -artifact_prefix="$out/artifacts/$t-" -print_final_stats=1 2> "$log" || {
      tail -n 60 "$log"
      echo "fuzz_$t found a fault; its input is in build-fuzz/artifacts/"
      exit 1
    }
    # Inputs of this run (its final statistics, or the last progress line
    # of a run the library ended) and the coverage it reached.
    n=$(grep -o 'number_of_executed_units: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$' || true)
    [ -n "$n" ] || n=$(grep -o '^#[0-9]*' "$log" | tail -n 1 | tr -d '#' || true)
    inputs=$((inputs + ${n:-0}))
    c=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$' || true)
    [ "${c:-0}" -gt "$cov" ] && cov=$c
    grep -q 'the library ended the process' "$log" || break
  done
  took=$((SECONDS - start))
  summary+=("$(printf '%-13s %10d inputs  %8d inputs/s  coverage %6d edges  (%d s, %d run(s))' \
    "fuzz_$t" "$inputs" $((inputs / (took > 0 ? took : 1))) "$cov" "$took" "$run")")
  echo "${summary[-1]}"
done
echo "fuzz: ${#targets[@]} passed, 0 failed"
printf '%s\n' "${summary[@]}"
