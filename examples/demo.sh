#!/bin/sh
# Runs tallyrep on the example traces; called by `make demo` with the build folder.
build=${1:-build}
out="$build/demo"
mkdir -p "$out"
set -- -tsf examples/calc_test.tsf examples/calc_memory.tsf -tdf examples/calc.tdf -xrd "$out/calc.xrd"
"$build/tallyrep" "$@"
status=$?
echo "tallyrep exit status: $status"
[ $status -eq 0 ] && echo "report written: $out/calc.xrd"
exit $status
