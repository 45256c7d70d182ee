#!/bin/sh
# Runs two builds of tallyrep-export over the same reports and compares every
# output byte for byte, with the exit status and the standard error of each run.
#
# usage: compare_builds.sh OLD_EXPORT NEW_EXPORT [MORE.xrd|FOLDER ...]
#
# The reports: examples/calc.xrd, every report in tests/export/data and in
# fuzz/corpus/export (a fuzz input holding a "--baseline--" line is split in
# two), the reports of the typical, flat and wide scenarios at scale 0.25
# ($COMPARE_SCALE; generated with ../shared/bench/gen_traces.py and written by
# tallyrep: $TALLYREP, else build-release/tallyrep or build/tallyrep), and any
# report or folder of reports given. Each is exported alone to all four
# outputs, against baselines, and merged with others. COMPARE_PAGE=parts
# compares the HTML pages by their parts instead of whole: the part that reads
# without script byte for byte, and the data the script reads once decoded
# into one layout (tests/export/page_data_json.py), so that a build that packs
# the data otherwise is compared by what the data says.
# Scratch files go to $COMPARE_DIR (default /tmp/issue-28/compare); the
# generated reports are kept there for the next run. Exit status 1 when any
# output differs.
set -u
old=$1 new=$2
shift 2
root=$(cd "$(dirname "$0")/../.." && pwd)
work=${COMPARE_DIR:-/tmp/issue-28/compare}
scale=${COMPARE_SCALE:-0.25}
page=${COMPARE_PAGE:-whole}
gen=${TALLYREP_BENCH_GEN:-$root/../shared/bench/gen_traces.py}
case "$work" in "$root"/*) echo "compare_builds: the scratch folder must be outside the repository" >&2; exit 2 ;; esac
mkdir -p "$work/reports" "$work/out" || exit 2

tallyrep=${TALLYREP:-}
for t in "$root/build-release/tallyrep" "$root/build/tallyrep"; do
  [ -z "$tallyrep" ] && [ -x "$t" ] && tallyrep=$t
done

# The generated reports, made once and kept.
for scenario in typical flat wide; do
  report="$work/reports/$scenario-$scale.xrd"
  [ -f "$report" ] && continue
  if [ -z "$tallyrep" ] || [ ! -f "$gen" ]; then
    echo "compare_builds: no tallyrep or trace generator: $scenario left out" >&2
    continue
  fi
  traces="$work/traces-$scenario"
  rm -rf "$traces"
  python3 "$gen" "$scenario" "$traces" --scale "$scale" >/dev/null &&
    (cd "$traces" && "$tallyrep" $(cat args) 2>/dev/null) &&
    mv "$traces/out.xrd" "$report"
  rm -rf "$traces"
done

# Fuzz inputs with a baseline line become two reports.
for f in "$root"/fuzz/corpus/export/*; do
  base=$(basename "$f")
  if grep -q -- '^--baseline--$' "$f"; then
    awk -v a="$work/reports/fuzz-$base.a.xrd" -v b="$work/reports/fuzz-$base.b.xrd" \
      'BEGIN { out = a } /^--baseline--$/ && out == a { out = b; next } { print > out }' "$f"
  else
    cp "$f" "$work/reports/fuzz-$base.xrd"
  fi
done

reports="$root/examples/calc.xrd"
for f in "$root"/tests/export/data/*.xrd "$work"/reports/*.xrd; do reports="$reports $f"; done
for extra in "$@"; do
  if [ -d "$extra" ]; then
    for f in "$extra"/*; do [ -f "$f" ] && reports="$reports $f"; done
  else
    reports="$reports $extra"
  fi
done

# The part of the page that reads without script, and the page's data.
page_parts() {
  sed -n '/^<div id="static" role="main">$/,/^<div class="toolbar"/p' "$1"
  python3 "$root/tests/export/page_data_json.py" "$1"
}

differ=0 runs=0
# compare NAME ARGS...: both builds with the same arguments; OUT stands for
# the output folder's prefix of each build.
compare() {
  name=$1
  shift
  for build in old new; do
    dir="$work/out/$build"
    mkdir -p "$dir"
    rm -f "$dir"/o.*
    bin=$old
    [ $build = new ] && bin=$new
    args=$(printf '%s\n' "$@" | sed "s|^OUT|$dir/o|")
    # The arguments hold no blanks: reports and outputs are plain paths.
    (cd "$work" && "$bin" $args >"$dir/o.stdout" 2>"$dir/o.stderr")
    echo $? >"$dir/o.status"
  done
  runs=$((runs + 1))
  for f in "$work"/out/old/o.status "$work"/out/old/o.std* "$work"/out/old/o.html \
    "$work"/out/old/o.xml "$work"/out/old/o.md "$work"/out/old/o.json; do
    [ -e "$f" ] || continue
    g="$work/out/new/$(basename "$f")"
    case "$f" in
      *.html)
        if [ "$page" = parts ]; then
          page_parts "$f" >"$f.parts"
          page_parts "$g" >"$g.parts"
          f="$f.parts" g="$g.parts"
        fi
        ;;
    esac
    if ! cmp -s "$f" "$g"; then
      echo "DIFFERS: $name: $(basename "$f")"
      differ=1
    fi
  done
  [ -e "$work/out/new/o.html" ] || [ ! -e "$work/out/old/o.html" ] || differ=1
}

all="--html OUT.html --junit OUT.xml --markdown OUT.md --json OUT.json --check"
for r in $reports; do
  compare "$(basename "$r")" "$r" $all
  compare "$(basename "$r") vs itself" "$r" --baseline "$r" $all
done
data=$root/tests/export/data
compare "summary changes" "$data/summary_new.xrd" --baseline "$data/summary_base.xrd" $all
compare "changes" "$data/changes_new.xrd" --baseline "$data/changes_base.xrd" $all
compare "three merged" "$data/merge_a.xrd" "$data/merge_b.xrd" "$data/merge_empty.xrd" $all
compare "merged vs baseline" "$data/changes_new.xrd" "$data/merge_a.xrd" \
  --baseline "$data/changes_base.xrd" $all
for a in "$work"/reports/fuzz-*.a.xrd; do
  [ -f "$a" ] || continue
  b=${a%.a.xrd}.b.xrd
  compare "$(basename "$a") vs b" "$a" --baseline "$b" $all
  compare "$(basename "$a") merged" "$a" "$b" $all
done
for scenario in typical flat wide; do
  r="$work/reports/$scenario-$scale.xrd"
  [ -f "$r" ] || continue
  compare "$scenario vs calc" "$r" --baseline "$root/examples/calc.xrd" $all
done
gen_reports=$(ls "$work"/reports/typical-*.xrd "$work"/reports/wide-*.xrd 2>/dev/null | tr '\n' ' ')
[ -n "$gen_reports" ] && compare "typical and wide merged" $gen_reports "$root/examples/calc.xrd" $all

echo "$runs runs compared"
[ $differ -eq 0 ] && echo "every output is the same"
exit $differ
