#!/usr/bin/env bash
# Compiles the plugin's core, the simulated USB library, the field traces, the
# tools' OS layer, the host kit and the development host with clang's
# thread-safety analysis, its findings as errors: a field marked
# ZORVA_GUARDED_BY read or written without its lock, a ZORVA_REQUIRES function
# called without it, a lock not released, two locks taken against their
# stated order (-Wthread-safety-beta). Compile only (-fsyntax-only), so it
# takes seconds. The annotations: win32/ThreadSafety.h.
set -euo pipefail
cd "$(dirname "$0")/.."

compiler=${ZORVA_ANALYSIS_CXX:-clang++-14}
if ! command -v "$compiler" >/dev/null; then
  echo "threadsafety.sh: $compiler not found (scripts/setup.sh installs clang-14)" >&2
  exit 1
fi

# Files of another system (*Windows.cpp) need its headers, and plugin/VersionNote.cpp
# (no code, only the version note) one CMake generates: left out here. The
# development host's live page (node_modules) holds no code of ours.
mapfile -t sources < <(find contract values definitions devices driver config plugin simusb trace platform hostkit devhost \
  -name node_modules -prune -o -name '*.cpp' ! -name '*Windows.cpp' ! -name VersionNote.cpp -print | sort)
log=$(mktemp)
# The version header CMake writes (cmake/ZorvaVersion.h.in), with a stand-in
# number: the analysis needs its declarations only.
generated=$(mktemp -d)
trap 'rm -rf "$log" "$generated"' EXIT
sed 's/@ZORVA_VERSION@/0.0.0/' cmake/ZorvaVersion.h.in >"$generated/ZorvaVersion.h"
if ! printf '%s\0' "${sources[@]}" |
  xargs -0 -P"$(nproc 2>/dev/null || echo 2)" -n1 \
    "$compiler" -std=c++17 -fsyntax-only -Wthread-safety -Wthread-safety-beta -Werror -I. -Isimusb/include -I"$generated" >"$log" 2>&1; then
  cat "$log"
  echo "thread-safety analysis failed (above)" >&2
  exit 1
fi
echo "thread-safety analysis: ${#sources[@]} files clean"
