#!/usr/bin/env bash
# Builds and runs every test: a format check, the layering check, a plain
# build, an AddressSanitizer+UBSan build and a ThreadSanitizer build of the
# threaded parts (all three clang's, with its thread-safety analysis), a short
# fuzzing run, and the Windows stage (GCC's). Each stage prints its time.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)

# stage NAME DIR TARGET CTEST-FILTER CMAKE-ARGS...
stage() {
  local name=$1 dir=$2 target=$3 filter=$4
  shift 4
  echo "=== ${name} ==="
  local started=$SECONDS
  # Ninja; a tree configured with another generator is configured afresh.
  if [ -f "$dir/CMakeCache.txt" ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$dir/CMakeCache.txt"; then
    rm -rf "$dir"
  fi
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$jobs" --target "$target" >"$dir/build.log" 2>&1 || {
    grep -E -B2 -A12 'error|FAILED' "$dir/build.log" | head -80
    echo "build failed: $dir/build.log" >&2
    return 1
  }
  if grep -q "warning:" "$dir/build.log"; then
    grep -A3 "warning:" "$dir/build.log" | head -40
    echo "the build gave warnings (above)" >&2
    return 1
  fi
  # Twice as many tests as cores: the end-to-end shards spend most of their
  # time waiting on the development host's real-time captures.
  (cd "$dir" && ctest --output-on-failure -j"$((jobs * 2))" $filter | grep -v -E "^ +Start |Test +#[0-9]+: .* Passed ")
  echo "--- ${name}: $((SECONDS - started)) s"
}

# Line tables only (-g1): enough for sanitizer reports, and much cheaper to
# build than full debug information. The sanitizer builds are not optimised:
# they build in half the time of -O1 and their tests run about as fast. Every
# Linux build is clang's, which builds the sanitizer builds in about half the
# time GCC takes and runs its thread-safety analysis on every file on the way
# (cmake/Warnings.cmake); GCC's warnings come from the Windows stage, whose
# compiler it is. lld links every program several times faster than the
# default linker.
clang=(-DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
  -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_MODULE_LINKER_FLAGS=-fuse-ld=lld)
optimised=("${clang[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")
sanitized=("${clang[@]}" -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O0 -g1" -DZORVA_BUILD_BENCHMARKS=OFF)

echo "=== Set-up, format check (clang-format), layering check ==="
scripts/format.sh --check
scripts/layers.sh
echo "--- Set-up and checks: $SECONDS s"

stage "plain build" build/test all "" "${optimised[@]}"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  stage "AddressSanitizer + UndefinedBehaviorSanitizer" build/asan all "" \
  "${sanitized[@]}" -DZORVA_SANITIZE=address,undefined
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  stage "ThreadSanitizer (threaded parts)" build/tsan threaded_tests "-L threaded|e2e" \
  "${sanitized[@]}" -DZORVA_SANITIZE=thread

echo "=== Fuzzing (smoke) ==="
started=$SECONDS
fuzz/run.sh --smoke
echo "--- Fuzzing (smoke): $((SECONDS - started)) s"

if [ -x scripts/windows/test.sh ]; then
  echo "=== Windows build under Wine ==="
  started=$SECONDS
  scripts/windows/test.sh
  echo "--- Windows build under Wine: $((SECONDS - started)) s"
fi
echo "All test stages passed in $SECONDS s."
