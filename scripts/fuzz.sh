#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz and runs each for a
# bounded time on the committed seed corpus (fuzz/corpus/<target>).
#   scripts/fuzz.sh [SECONDS] [TARGET...]    (default: 60 s; gpv grib map plot)
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
[ ${#targets[@]} -eq 0 ] && targets=(gpv grib map plot)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKIVAR_FUZZ=ON -DKIVAR_TESTS=OFF -DKIVAR_BENCH=OFF -DKIVAR_GUI=OFF > /dev/null
cmake --build build-fuzz -j 2 --target "${targets[@]/#/fuzz_}"

# Absolute paths: the targets change the current directory while they run,
# and a timeout or crash report is written from inside a run.
out="$(pwd)/build-fuzz"
mkdir -p "$out/artifacts"
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in "${targets[@]}"; do
  mkdir -p "$out/corpus/$t"
  echo "== fuzz_$t for $seconds s"
  # A deliberate exit of the library ends a run early with status 0; the
  # target is then started again on the grown corpus with the next seed
  # until its time is used up.
  start=$SECONDS run=0
  while left=$((seconds - (SECONDS - start))); [ "$left" -gt 0 ]; do
    run=$((run + 1))
    log="build-fuzz/fuzz_$t.log"
    "$out/fuzz/fuzz_$t" "$out/corpus/$t" "$(pwd)/fuzz/corpus/$t" \
      -max_total_time="$left" -seed="$run" -timeout=10 -rss_limit_mb=3072 \
      -artifact_prefix="$out/artifacts/$t-" -print_final_stats=1 2> "$log" || {
      tail -n 60 "$log"
      echo "fuzz_$t found a fault; its input is in build-fuzz/artifacts/"
      exit 1
    }
    grep -q 'the library ended the process' "$log" || break
  done
  echo "fuzz_$t: $((SECONDS - start)) s, $run run(s)"
done
echo "fuzz: ${#targets[@]} passed, 0 failed"
