#!/usr/bin/env bash
# Checks the include rules of docs/DESIGN.md ("Layers" and "A platform backend"); prints every
# include that breaks one and exits non-zero.
#   scripts/include-check.sh
#  - Above platform/ (app, comm, ui, support, tools, tests, testing, bench, fuzz) only the
#    contract, platform/*.h, is included; besides it each program's main() includes its screen
#    (kadro: platform/fltk/screen_display.h; kadro-serve: platform/console/console_display.h)
#    and the tests the window system's own calls (platform/window_system/window_system.h).
#  - Inside platform/ a file includes the contract, the *_internal.h headers beside it and its
#    own folder's headers (a system folder inside a backend folder, such as console/posix/,
#    also the backend folder's); the Windows window backend (user32/) also the system's wide
#    strings (win32/wide_text.h), and the screen (fltk/) the window system's own calls.
#  - A test or fuzz target of a platform folder's own parts sits in the folder mirroring it
#    (tests/platform/posix/ for platform/posix/, fuzz/platform/ for platform/) and may include
#    every header of that folder, its private ones too; no other may.
#  - The system's <windows.h> and its companions are included only in a win32/ or user32/
#    folder (the Windows tests sit in such folders too) and in the benchmarks of the Windows
#    build (bench/windows/).
set -euo pipefail
cd "$(dirname "$0")/.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t files < <(find . \( -path './build*' -o -path ./demo -o -path ./.git \) -prune -o \
    -type f \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||' | sort)
fi

allowed() {  # allowed <file> <included platform header>
  local file=$1 header=$2
  local file_dir=${file%/*} header_dir=${header%/*}
  if [[ $file == platform/* ]]; then
    [[ $header_dir == platform || $header_dir == "$file_dir" ]] && return 0
    [[ $file_dir == "$header_dir"/posix || $file_dir == "$header_dir"/win32 ]] && return 0
    [[ $file == platform/user32/* && $header == platform/win32/wide_text.h ]] && return 0
    [[ $file == platform/fltk/* && $header == platform/window_system/window_system.h ]] && return 0
    return 1
  fi
  [[ $header_dir == platform && $header != *_internal.h ]] && return 0
  [[ $file == app/executable/* && $header == platform/fltk/screen_display.h ]] && return 0
  [[ $file == app/serve/main.cpp && $header == platform/console/console_display.h ]] && return 0
  [[ $file == test* && $header == platform/window_system/window_system.h ]] && return 0
  [[ $file =~ ^(tests|fuzz)/(platform(/[a-z0-9_]+)*)/[^/]+$ && $header_dir == "${BASH_REMATCH[2]}" ]] &&
    return 0
  return 1
}

violations=0
while IFS= read -r match; do
  file=${match%%:*}
  rest=${match#*:}
  line=${rest%%:*}
  text=${rest#*:}
  if [[ $text =~ \#include\ \"(platform/[^\"]+)\" ]]; then
    if ! allowed "$file" "${BASH_REMATCH[1]}"; then
      echo "$file:$line: $text: not this file's to include (see docs/DESIGN.md, Layers)"
      violations=$((violations + 1))
    fi
  elif [[ $text =~ \#include\ \<(windows|shellapi|commdlg|commctrl|shlobj)\.h\> ]]; then
    if [[ ! $file =~ (^|/)(win32|user32)/ && $file != bench/windows/* ]]; then
      echo "$file:$line: $text: the system's headers belong in a win32/ or user32/ folder"
      violations=$((violations + 1))
    fi
  fi
done < <(grep -Hn -E '^#include ("platform/|<(windows|shellapi|commdlg|commctrl|shlobj)\.h>)' \
  "${files[@]}")

if [ "$violations" -ne 0 ]; then
  echo "include check: $violations include(s) break the layering"
  exit 1
fi
echo "include check: ${#files[@]} files checked"
