#!/bin/sh
# Runs the fuzz targets: `sh fuzz/run.sh [SECONDS] [TARGET...]` (default 60 s
# each, targets tsf tdf header run export history). Replays fuzz/regressions/<target>/
# first, then fuzzes from the seeds in fuzz/corpus/<target> into a working
# corpus, with the dictionary fuzz/<target>.dict where there is one.
# Fails on any crash, leak, sanitizer report or input slower than 2 s.
#   FUZZ_BUILD    build folder of the targets (default build-fuzz)
#   FUZZ_WORK     working corpus folder (default fuzz/corpus-work, git-ignored)
#   FUZZ_NOBUILD  set to 1 to use the targets already built
#   FUZZ_LOG      folder for the fuzzers' logs (default $FUZZ_BUILD/logs)
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-tsf tdf header run export history}
build=${FUZZ_BUILD:-$root/build-fuzz}
work=${FUZZ_WORK:-$root/fuzz/corpus-work}
logs=${FUZZ_LOG:-$build/logs}

if [ "${FUZZ_NOBUILD:-0}" != 1 ]; then
  sh "$root/fuzz/build.sh" "$build" || exit $?
fi
mkdir -p "$work" "$logs"

# True when the input runs within the timeout in one of three tries.
replay_fast() {
  for try in 1 2 3; do
    "$1" -timeout=2 "$2" >/dev/null 2>&1 && return 0
  done
  return 1
}

status=0
for t in $targets; do
  bin="$build/fuzz_$t"
  if [ ! -x "$bin" ]; then
    echo "fuzz_$t: not built" >&2
    status=1
    continue
  fi
  artifacts="$build/artifacts/$t"
  mkdir -p "$artifacts" "$work/$t"
  dict="$root/fuzz/$t.dict"
  [ -f "$dict" ] || dict="$root/fuzz/tallyrep.dict"
  common="-timeout=2 -rss_limit_mb=2048 -max_len=20000 -dict=$dict"

  reg="$root/fuzz/regressions/$t"
  if [ -d "$reg" ] && [ -n "$(ls -A "$reg")" ]; then
    if ! "$bin" $common -artifact_prefix="$artifacts/" "$reg"/* >"$logs/$t.regressions.log" 2>&1; then
      echo "fuzz_$t: a regression input fails again; see $logs/$t.regressions.log" >&2
      tail -40 "$logs/$t.regressions.log" >&2
      status=1
      continue
    fi
  fi

  # libFuzzer's timeout is wall-clock time, and on a loaded machine a niced
  # fuzzer can stall past it on an input that is fast. A timeout therefore
  # counts only when the input, replayed alone, is still slower than 2 s;
  # otherwise fuzzing resumes for the time that is left.
  log="$logs/$t.log"
  : >"$log"
  start=$(date +%s)
  left=$seconds
  runs=0
  failed=0
  while [ "$left" -gt 0 ]; do
    "$bin" $common -max_total_time="$left" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$work/$t" "$root/fuzz/corpus/$t" >"$log.part" 2>&1
    rc=$?
    cat "$log.part" >>"$log"
    # The final statistics are missing when a fuzzer is stopped by a finding;
    # its last progress line then gives the count.
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log.part" | tail -1)
    [ -n "$n" ] || n=$(sed -n 's/^#\([0-9][0-9]*\).*/\1/p' "$log.part" | tail -1)
    runs=$((runs + ${n:-0}))
    left=$((seconds - ($(date +%s) - start)))
    [ $rc -eq 0 ] && break
    slow=$(sed -n 's/^artifact_prefix=.*; Test unit written to \(.*timeout-.*\)$/\1/p' "$log.part" | tail -1)
    if [ $rc -eq 70 ] && [ -n "$slow" ] && replay_fast "$bin" "$slow"; then
      echo "fuzz_$t: timeout under load not reproduced alone: $slow" >>"$log"
      mv "$slow" "$slow.not-reproduced"
      continue
    fi
    failed=1
    break
  done
  rm -f "$log.part"
  size=$(ls "$work/$t" | wc -l)
  if [ $failed -ne 0 ]; then
    echo "fuzz_$t: FAILED (status $rc) after $runs runs; input saved in $artifacts/; log $log" >&2
    grep -E "^(==[0-9]+==ERROR|SUMMARY|fuzz check failed|.*runtime error)" "$log" | head -5 >&2
    status=1
  else
    echo "fuzz_$t: $runs runs in $seconds s, working corpus $size inputs, no finding"
  fi
done
exit $status
