#!/bin/sh
# Builds the fuzz targets with clang 14 into build-fuzz/ (or $1). Exit status 77
# when clang or libFuzzer is not installed, so callers can skip.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-fuzz}
cxx=$(command -v clang++-14 || command -v clang++ || true)
if [ -z "$cxx" ]; then
  echo "fuzz: clang++ not found" >&2
  exit 77
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf '#include <cstdint>\n#include <cstddef>\nextern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n' \
  >"$probe/p.cpp"
if ! "$cxx" -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" >/dev/null 2>&1; then
  echo "fuzz: $cxx cannot link libFuzzer (install libclang-rt-14-dev)" >&2
  exit 77
fi
cmake -S "$root/fuzz" -B "$out" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" -j "${FUZZ_JOBS:-2}"
