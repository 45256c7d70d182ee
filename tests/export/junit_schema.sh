#!/bin/sh
# Exports each report given as JUnit XML and checks it against the xUnit
# plugin's own schema (junit-10.xsd), which Jenkins validates with and drops a
# file that fails; first proves the schema still refuses skipped on
# testsuites, the fault that once made them drop every report. With TALLYREP_BIN
# and the shared trace generator, a small `typical` report is checked too.
# usage: junit_schema.sh EXPORT_BIN SCHEMA OUT_DIR REPORT...
set -u
bin=$1 schema=$2 out=$3
shift 3
command -v xmllint >/dev/null 2>&1 || { echo "skipped: xmllint not installed"; exit 77; }
mkdir -p "$out" || exit 1
status=0
refused="$out/skipped-on-testsuites.xml"
printf '%s\n' '<testsuites tests="1" failures="0" errors="0" skipped="1">' \
  '<testsuite name="D" tests="1" failures="0" errors="0" skipped="1">' \
  '<testcase name="C"><skipped/></testcase></testsuite></testsuites>' >"$refused"
if xmllint --noout --schema "$schema" "$refused" 2>/dev/null; then
  echo "FAIL: the schema accepts skipped on testsuites"
  status=1
fi
gen=${TALLYREP_BENCH_GEN:-$(dirname "$0")/../../../shared/bench/gen_traces.py}
if [ -n "${TALLYREP_BIN:-}" ] && [ -f "$gen" ]; then
  rm -rf "$out/typical" && mkdir -p "$out/typical"
  if python3 "$gen" typical "$out/typical" --scale 0.01 >/dev/null &&
    (cd "$out/typical" && "$TALLYREP_BIN" $(cat args) 2>/dev/null); then
    set -- "$@" "$out/typical/out.xrd"
  else
    echo "FAIL: no typical report made"
    status=1
  fi
else
  echo "note: no typical report (TALLYREP_BIN unset or $gen missing)"
fi
for report in "$@"; do
  xml="$out/$(basename "$(dirname "$report")")-$(basename "$report" .xrd).junit.xml"
  "$bin" "$report" --junit "$xml" || { status=1; continue; }
  xmllint --noout --schema "$schema" "$xml" || status=1
done
exit $status
