#!/usr/bin/env bash
# Builds and runs every test: a plain build, an AddressSanitizer+UBSan build,
# a ThreadSanitizer build of the threaded parts, and the Windows stage.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)

stage() {
  local name=$1 dir=$2 filter=$3
  shift 3
  echo "=== ${name} ==="
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" $filter)
}

stage "plain build" build/test ""
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  stage "AddressSanitizer + UndefinedBehaviorSanitizer" build/asan "" \
  -DZORVA_SANITIZE=address,undefined -DZORVA_BUILD_BENCHMARKS=OFF
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  stage "ThreadSanitizer (threaded parts)" build/tsan "-L threaded" \
  -DZORVA_SANITIZE=thread -DZORVA_BUILD_BENCHMARKS=OFF

if [ -x scripts/windows/test.sh ]; then
  echo "=== Windows build under Wine ==="
  scripts/windows/test.sh
fi
echo "All test stages passed."
