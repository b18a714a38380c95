#!/usr/bin/env bash
# Fails, naming the files, when a C++ source is not formatted by the tree's .clang-format.
# `scripts/check-format.sh --fix` formats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null ||
                     find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
# One clang-format process for the whole tree; it names each file with a line out of place.
mapfile -t bad < <(clang-format --dry-run --Werror "${files[@]}" 2>&1 |
                   sed -nE 's/^([^:]+):[0-9]+:[0-9]+: error: .*/\1/p' | sort -u)
if [ ${#bad[@]} -gt 0 ]; then
  echo "check-format: not formatted (run scripts/check-format.sh --fix):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
