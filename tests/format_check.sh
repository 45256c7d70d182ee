#!/bin/sh
# The C++ sources as .clang-format lays them out: clang-format --dry-run
# -Werror over every tracked .cpp and .h file. Exit 77 (skipped) without
# clang-format or outside a git checkout.
#   sh tests/format_check.sh SOURCE_FOLDER
cd "$1" || exit 2
command -v clang-format >/dev/null 2>&1 || { echo "clang-format is not installed: skipped"; exit 77; }
git rev-parse --git-dir >/dev/null 2>&1 || { echo "not a git checkout: skipped"; exit 77; }
files=$(git ls-files '*.cpp' '*.h')
if clang-format --dry-run -Werror $files; then
  echo "$(echo "$files" | wc -l) files formatted as .clang-format says"
else
  echo "clang-format -i on the files above lays them out as .clang-format says"
  exit 1
fi
