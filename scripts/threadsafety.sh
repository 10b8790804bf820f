#!/usr/bin/env bash
# Compiles the plugin's core, the simulated USB library, the field traces, the
# host kit and the live view with clang's thread-safety analysis, its findings
# as errors: a field marked ZORVA_GUARDED_BY read or written without its lock,
# a ZORVA_REQUIRES function called without it, a lock not released, two locks
# taken against their stated order (-Wthread-safety-beta). Compile only
# (-fsyntax-only), so it takes seconds. The annotations: win32/ThreadSafety.h.
set -euo pipefail
cd "$(dirname "$0")/.."

compiler=${ZORVA_ANALYSIS_CXX:-clang++-14}
if ! command -v "$compiler" >/dev/null; then
  echo "threadsafety.sh: $compiler not found (scripts/setup.sh installs clang-14)" >&2
  exit 1
fi

# Files of another system (*Windows.cpp) need its headers, and plugin/VersionNote.cpp
# (no code, only the version note) one CMake generates: left out here.
mapfile -t sources < <(find values definitions devices driver config plugin simusb trace hostkit devhost/live -name '*.cpp' \
  ! -name '*Windows.cpp' ! -name VersionNote.cpp | sort)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! printf '%s\0' "${sources[@]}" |
  xargs -0 -P"$(nproc 2>/dev/null || echo 2)" -n1 \
    "$compiler" -std=c++17 -fsyntax-only -Wthread-safety -Wthread-safety-beta -Werror -I. >"$log" 2>&1; then
  cat "$log"
  echo "thread-safety analysis failed (above)" >&2
  exit 1
fi
echo "thread-safety analysis: ${#sources[@]} files clean"
