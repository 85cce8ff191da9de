#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test three times: plain, under
# AddressSanitizer + UBSan, under ThreadSanitizer; then runs each fuzzer briefly.
# Exits non-zero on any failure or sanitizer report.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/install-deps.sh"

jobs=$(nproc)
build_root=${UPDATER_BUILD_ROOT:-$root/build}
fuzz_seconds=${UPDATER_FUZZ_SECONDS:-30}

passed=0

suite() {
  local name=$1
  shift
  echo "=== $name build"
  cmake -S "$root" -B "$build_root/$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$build_root/$name" -j "$jobs"
  echo "=== $name tests"
  (cd "$build_root/$name" && ctest --output-on-failure -j "$jobs") | tee "$build_root/$name/ctest.log"
  # A suite that ran no test counts as a failure.
  local count
  count=$(sed -n 's/^100% tests passed, 0 tests failed out of \([0-9]*\)$/\1/p' "$build_root/$name/ctest.log")
  if [ -z "$count" ]; then
    echo "=== $name tests failed"
    exit 1
  fi
  passed=$((passed + count))
}

suite plain
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  suite asan -DUPDATER_SANITIZE=address -DUPDATER_BUILD_BENCHMARKS=OFF
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  suite tsan -DUPDATER_SANITIZE=thread -DUPDATER_BUILD_BENCHMARKS=OFF

shopt -s nullglob
fuzzers=("$root"/tests/fuzz/*.cpp)
if [ ${#fuzzers[@]} -gt 0 ]; then
  echo "=== fuzz build"
  CC=clang CXX=clang++ cmake -S "$root" -B "$build_root/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DUPDATER_SANITIZE=address -DUPDATER_BUILD_FUZZERS=ON -DUPDATER_BUILD_BENCHMARKS=OFF
  targets=()
  for source in "${fuzzers[@]}"; do
    targets+=("fuzz_$(basename "$source" .cpp)")
  done
  cmake --build "$build_root/fuzz" -j "$jobs" --target "${targets[@]}"
  for source in "${fuzzers[@]}"; do
    name=$(basename "$source" .cpp)
    corpus=$(mktemp -d)
    cp -r "$root/tests/fuzz/corpus/$name/." "$corpus/" 2>/dev/null || true
    echo "=== fuzz $name (${fuzz_seconds}s)"
    ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
      "$build_root/fuzz/fuzz-bin/fuzz_$name" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
      "$corpus"
    rm -rf "$corpus"
  done
fi
echo "=== all suites passed"
echo "tests: $passed passed, 0 failed"
