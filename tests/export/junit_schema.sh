#!/bin/sh
# Exports each report given as JUnit XML and checks it against the junit-10
# rules that CI servers validate with; first proves the schema still refuses
# skipped on testsuites, the fault that once made them drop every report.
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
for report in "$@"; do
  xml="$out/$(basename "$report" .xrd).junit.xml"
  "$bin" "$report" --junit "$xml" || { status=1; continue; }
  xmllint --noout --schema "$schema" "$xml" || status=1
done
exit $status
