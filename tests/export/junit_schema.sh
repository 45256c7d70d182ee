#!/bin/sh
# Exports each report given as JUnit XML and checks it against the schema of
# the subset the exporter writes.
# usage: junit_schema.sh EXPORT_BIN SCHEMA OUT_DIR REPORT...
set -u
bin=$1 schema=$2 out=$3
shift 3
command -v xmllint >/dev/null 2>&1 || { echo "skipped: xmllint not installed"; exit 77; }
mkdir -p "$out" || exit 1
status=0
for report in "$@"; do
  xml="$out/$(basename "$report" .xrd).junit.xml"
  "$bin" "$report" --junit "$xml" || { status=1; continue; }
  xmllint --noout --schema "$schema" "$xml" || status=1
done
exit $status
