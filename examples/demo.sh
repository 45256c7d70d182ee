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
if [ $status -eq 0 ] && [ -x "$build/tallyrep-export" ]; then
  "$build/tallyrep-export" "$out/calc.xrd" --html "$out/calc.html" --junit "$out/calc.junit.xml"
  status=$?
  [ $status -eq 0 ] && echo "HTML page written: $out/calc.html" && echo "JUnit XML written: $out/calc.junit.xml"
fi
exit $status
