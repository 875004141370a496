#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz and runs each for a
# bounded time on the committed seed corpus (fuzz/corpus/<target>).
#   scripts/fuzz.sh [SECONDS] [TARGET...]    (default: 60 s; gpv map plot)
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
[ ${#targets[@]} -eq 0 ] && targets=(gpv map plot)

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
  "$out/fuzz/fuzz_$t" "$out/corpus/$t" "$(pwd)/fuzz/corpus/$t" \
    -max_total_time="$seconds" -seed=1 -timeout=10 -rss_limit_mb=3072 \
    -artifact_prefix="$out/artifacts/$t-" -print_final_stats=1 2> "build-fuzz/fuzz_$t.log" || {
    tail -n 60 "build-fuzz/fuzz_$t.log"
    echo "fuzz_$t found a fault; its input is in build-fuzz/artifacts/"
    exit 1
  }
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|fuzz_plot: the library ended)' \
    "build-fuzz/fuzz_$t.log" || true
done
echo "fuzz: ${#targets[@]} passed, 0 failed"
