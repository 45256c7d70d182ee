#!/bin/sh
# Short run of one fuzz target for the test suite:
#   sh fuzz/smoke.sh TARGET SECONDS BUILD_FOLDER
# Replays the target's regression inputs and fuzzes from its seeds into a
# scratch corpus. Exit status 77 (skipped) when the targets were not built
# because clang or libFuzzer is missing.
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1
seconds=${2:-20}
build=$3
if [ ! -x "$build/fuzz_$target" ]; then
  echo "fuzz_$target is not built (clang or libFuzzer missing): skipped"
  exit 77
fi
work="$build/smoke-work"
rm -rf "$work/$target"
FUZZ_BUILD="$build" FUZZ_NOBUILD=1 FUZZ_WORK="$work" FUZZ_LOG="$build/smoke-logs" \
  sh "$root/fuzz/run.sh" "$seconds" "$target"
