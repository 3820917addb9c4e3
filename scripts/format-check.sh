#!/usr/bin/env bash
# Checks that every C++ file of the sources is formatted as .clang-format says; prints the
# places that are not and exits non-zero. `clang-format -i FILE` formats a file in place.
#   scripts/format-check.sh
# In a git checkout the tracked files are checked; elsewhere every *.cpp and *.h outside the
# build folders (build*/) and demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
  bash scripts/install-deps.sh
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t files < <(find . \( -path './build*' -o -path ./demo -o -path ./.git \) -prune -o \
    -type f \( -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
clang-format --dry-run --Werror "${files[@]}"
echo "format: ${#files[@]} files checked"
