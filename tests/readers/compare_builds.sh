#!/bin/sh
# Runs two builds of tallyrep over the same traces and compares every report
# byte for byte (its generation time aside), with the exit status and the
# standard error of each run.
#
# usage: compare_builds.sh OLD_TALLYREP NEW_TALLYREP
#
# The traces: examples/, every run input of fuzz/corpus/run (cut at its "-8<-"
# lines into TSF, TDF and header), every input of fuzz/corpus/tdf with the
# example TSFs and of fuzz/corpus/tsf with the example TDF, the six bench
# scenarios at scale 0.25 ($COMPARE_SCALE; ../shared/bench/gen_traces.py), and
# variants of the typical scenario's TDF that take the readers off their usual
# road: CR LF line ends, stray carriage returns, NULs, a 0x1A byte, records
# without their spaces, tokens longer than 1023 characters and lines longer
# than a read block. Scratch files go to $COMPARE_DIR (default
# /tmp/tallyrep-compare); generated traces are kept there for the next run.
# Exit status 1 when anything differs.
set -u
absolute() { case "$1" in /*) echo "$1" ;; *) echo "$(pwd)/$1" ;; esac; }
old=$(absolute "$1") new=$(absolute "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=${COMPARE_DIR:-/tmp/tallyrep-compare}
scale=${COMPARE_SCALE:-0.25}
gen=${TALLYREP_BENCH_GEN:-$root/../shared/bench/gen_traces.py}
case "$work" in "$root"/*) echo "compare_builds: the scratch folder must be outside the repository" >&2; exit 2 ;; esac
mkdir -p "$work/cases" || exit 2

# One case is a folder with an args file (tallyrep's arguments, one a line,
# the report named out.xrd) and the files it names; header.kvp, when present,
# is the project header.
for scenario in typical flat wide instances runs deep; do
  folder="$work/cases/bench-$scenario-$scale"
  [ -f "$folder/args" ] && continue
  if [ ! -f "$gen" ]; then
    echo "compare_builds: no trace generator: $scenario left out" >&2
    continue
  fi
  rm -rf "$folder"
  python3 "$gen" "$scenario" "$folder" --scale "$scale" >/dev/null || exit 2
done

python3 - "$root" "$work/cases" "$work/cases/bench-typical-$scale" <<'EOF' || exit 2
import os, random, shutil, sys
root, cases, typical = sys.argv[1:4]
SEP = b"\n-8<-\n"

def case(name, tsfs, tdf, header=None):
    folder = os.path.join(cases, name)
    os.makedirs(folder, exist_ok=True)
    names = []
    for i, data in enumerate(tsfs):
        names.append(f"t{i}.tsf")
        open(os.path.join(folder, names[-1]), "wb").write(data)
    open(os.path.join(folder, "in.tdf"), "wb").write(tdf)
    if header is not None:
        open(os.path.join(folder, "header.kvp"), "wb").write(header)
    args = ["-tsf"] + names + ["-tdf", "in.tdf", "-xrd", "out.xrd"]
    open(os.path.join(folder, "args"), "w").write("\n".join(args) + "\n")

def read(path):
    return open(path, "rb").read()

ex = os.path.join(root, "examples")
ex_tsfs = [read(os.path.join(ex, "calc_test.tsf")), read(os.path.join(ex, "calc_memory.tsf"))]
ex_tdf = read(os.path.join(ex, "calc.tdf"))
case("examples", ex_tsfs, ex_tdf)
corpus = os.path.join(root, "fuzz", "corpus")
for name in sorted(os.listdir(os.path.join(corpus, "run"))):
    parts = read(os.path.join(corpus, "run", name)).split(SEP, 2)
    case("run-" + name, [parts[0]], parts[1] if len(parts) > 1 else b"",
         parts[2] if len(parts) > 2 else None)
for name in sorted(os.listdir(os.path.join(corpus, "tdf"))):
    case("tdf-" + name, ex_tsfs, read(os.path.join(corpus, "tdf", name)))
for name in sorted(os.listdir(os.path.join(corpus, "tsf"))):
    case("tsf-" + name, [read(os.path.join(corpus, "tsf", name))], ex_tdf)

# Variants of the typical TDF, made once (the same every time: fixed seed).
if os.path.exists(os.path.join(typical, "args")) and \
        not os.path.exists(os.path.join(cases, "variant-nul", "args")):
    tsfs = [read(os.path.join(typical, f)) for f in sorted(os.listdir(typical))
            if f.endswith(".tsf")]
    tdf = read(os.path.join(typical, "typical.tdf"))
    lines = tdf.split(b"\n")
    rng = random.Random(7)

    def mutate(change):
        return b"\n".join(change(line) if rng.random() < 0.02 else line for line in lines)

    def junk(line):
        k = rng.randrange(len(line) + 1)
        return line[:k] + rng.choice([b"\0", b"\r", b" ", b"\t", b"\"", b"zz", b"\n"]) + line[k:]

    def unspaced(line):
        return line.replace(b" ", b"", rng.randrange(1, 3))

    def long_token(line):
        if line[:3] in (b"GL ", b"NI ", b"ME "):
            return line[:3] + b"0" * 1500 + line[3:]
        return line + b" " + b"f" * 1100

    case("variant-crlf", tsfs, tdf.replace(b"\n", b"\r\n"))
    case("variant-cr", tsfs, mutate(lambda l: l.replace(b" ", b" \r", 1)))
    case("variant-nul", tsfs, mutate(junk))
    case("variant-unspaced", tsfs, mutate(unspaced))
    case("variant-long", tsfs, mutate(long_token))
    half = len(tdf) // 2
    case("variant-sub", tsfs, tdf[:half] + b"\x1a" + tdf[half:])
    block = 1 << 20  # a line over two read blocks of either build
    case("variant-blocks", tsfs, tdf[:block - 3] + b"NO " + b"1" * (3 * block) + b"\n" +
         tdf[block - 3:])
    case("variant-no-final-lf", tsfs, tdf.rstrip(b"\n"))
EOF

# The generation time is the only part of a report that differs by itself.
masked() {
  sed -E '1,200s/^(<CELL_TEXT STYLE="Array">)[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} [0-9]{4}(<\/CELL_TEXT>)$/\1(time)\2/' "$1"
}

run_in() {  # binary folder out
  rm -rf "$3" && mkdir -p "$3" && ln -s "$2"/* "$3"/ || return 2
  (
    cd "$3" || exit 2
    if [ -f header.kvp ]; then export KSPX_WORKSHOP_HEADER_FILE=header.kvp; else unset KSPX_WORKSHOP_HEADER_FILE; fi
    "$1" $(cat args) >stdout 2>stderr
    echo $? >status
  )
}

differ=0 runs=0
for folder in "$work"/cases/*/; do
  folder=${folder%/}
  name=$(basename "$folder")
  runs=$((runs + 1))
  run_in "$old" "$folder" "$work/old" || exit 2
  run_in "$new" "$folder" "$work/new" || exit 2
  what=""
  for f in status stdout stderr; do cmp -s "$work/old/$f" "$work/new/$f" || what="$what $f"; done
  if [ -f "$work/old/out.xrd" ] || [ -f "$work/new/out.xrd" ]; then
    if [ -f "$work/old/out.xrd" ] && [ -f "$work/new/out.xrd" ]; then
      masked "$work/old/out.xrd" >"$work/old.masked" && masked "$work/new/out.xrd" >"$work/new.masked"
      cmp -s "$work/old.masked" "$work/new.masked" || what="$what report"
    else
      what="$what report"
    fi
  fi
  if [ -n "$what" ]; then
    echo "DIFFERS: $name:$what"
    for side in old new; do echo "  $side: status $(cat "$work/$side/status"), $(tail -n 1 "$work/$side/stderr")"; done
    differ=1
  fi
done
[ -n "${COMPARE_KEEP:-}" ] || rm -rf "$work/old" "$work/new" "$work/old.masked" "$work/new.masked"
echo "compare_builds: $runs cases, $([ $differ = 0 ] && echo 'all identical' || echo 'some differ')"
exit $differ
