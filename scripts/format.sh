#!/usr/bin/env bash
# Formats the C++ sources with clang-format-14 and the committed .clang-format.
#   scripts/format.sh           rewrites every file that differs
#   scripts/format.sh --check   changes nothing; lists the files that differ and fails
set -euo pipefail
cd "$(dirname "$0")/.."

formatter=${ZORVA_CLANG_FORMAT:-clang-format-14}
if ! command -v "$formatter" >/dev/null; then
  echo "format.sh: $formatter not found (scripts/setup.sh installs clang-format-14)" >&2
  exit 1
fi

mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null ||
  find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)

if [ "${1:-}" = "--check" ]; then
  # One formatter per core, each with many files: a process per file took half a minute.
  mapfile -t different < <(printf '%s\0' "${sources[@]}" |
    xargs -0 -P"$(nproc 2>/dev/null || echo 2)" -n40 "$formatter" --dry-run -Werror 2>&1 |
    sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u)
  if [ ${#different[@]} -ne 0 ]; then
    printf '  %s\n' "${different[@]}"
    echo "these files are not formatted: run scripts/format.sh" >&2
    exit 1
  fi
  echo "format check: ${#sources[@]} files formatted"
else
  "$formatter" -i "${sources[@]}"
fi
