#!/bin/sh
# Exports each report given as JUnit XML and checks it against the xUnit
# plugin's own schema (junit-10.xsd), which Jenkins validates with and drops a
# file that fails; first proves the schema still refuses skipped on
# testsuites, the fault that once made them drop every report. With TALLYREP_BIN
# and the shared trace generator, a small `typical` report is checked too, and
# `typical` at scale 1 (0.05 in the sanitizer pass) written in parts of at
# most 10,000,000 bytes: each part valid, every test in exactly one of them.
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
  scale=1
  [ -n "${TALLYREP_SANITIZED:-}" ] && scale=0.05
  parts="$out/typical-parts"
  rm -rf "$parts" && mkdir -p "$parts"
  if python3 "$gen" typical "$parts" --scale $scale >/dev/null &&
    (cd "$parts" && "$TALLYREP_BIN" $(cat args) 2>/dev/null && rm -f -- *.tsf *.tdf) &&
    "$bin" "$parts/out.xrd" --junit "$parts/whole.xml" &&
    "$bin" "$parts/out.xrd" --junit "$parts/junit.xml" --junit-max-bytes 10000000; then
    whole=$(grep -c '<testcase ' "$parts/whole.xml")
    sum=0
    : >"$parts/suites"
    for part in "$parts"/junit-*.xml; do
      [ "$(wc -c <"$part")" -lt 10000000 ] || { echo "FAIL: $part is too large"; status=1; }
      xmllint --noout --schema "$schema" "$part" 2>&1 | grep -v ' validates$'
      xmllint --noout --schema "$schema" "$part" 2>/dev/null || status=1
      sum=$((sum + $(grep -c '<testcase ' "$part")))
      grep -o '<testsuite name="[^"]*"' "$part" >>"$parts/suites"
    done
    dup=$(sort "$parts/suites" | uniq -d | head -3)
    echo "typical x$scale in $(ls "$parts"/junit-*.xml | wc -l) parts: $sum of $whole tests"
    [ "$sum" -eq "$whole" ] || { echo "FAIL: the parts hold $sum tests, the whole $whole"; status=1; }
    [ -z "$dup" ] || { echo "FAIL: suites in two parts: $dup"; status=1; }
  else
    echo "FAIL: no typical parts made"
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
