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
  different=()
  for file in "${sources[@]}"; do
    "$formatter" "$file" | cmp -s - "$file" || different+=("$file")
  done
  if [ ${#different[@]} -ne 0 ]; then
    printf '  %s\n' "${different[@]}"
    echo "these files are not formatted: run scripts/format.sh" >&2
    exit 1
  fi
  echo "format check: ${#sources[@]} files formatted"
else
  "$formatter" -i "${sources[@]}"
fi
