#!/bin/sh
# valgrind memcheck over whole tallyrep runs: the examples, a generated medium
# trace, a deep chain, garbage, and the failure exits. Any invalid access or
# leaked block fails the test; exit status 77 (skipped) without valgrind.
#   sh tests/valgrind.sh TALLYREP_BINARY SOURCE_FOLDER
bin=$1
src=$2
if ! command -v valgrind >/dev/null 2>&1; then
  echo "valgrind is not installed: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# memcheck EXPECTED_STATUS ARGS...: runs tallyrep under memcheck in $work.
memcheck() {
  expected=$1
  shift
  (cd "$work" && valgrind -q --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
    "$bin" "$@") >"$work/out" 2>"$work/err"
  rc=$?
  if [ $rc -ne "$expected" ] || grep -q '^==[0-9]*==' "$work/err"; then
    echo "FAILED (status $rc, expected $expected): tallyrep $*"
    cat "$work/err"
    failed=1
  else
    echo "clean (status $rc): tallyrep $*"
  fi
}

cp "$src"/examples/*.tsf "$src"/examples/*.tdf "$work"/
memcheck 0 -tsf calc_test.tsf calc_memory.tsf -tdf calc.tdf -xrd calc.xrd
printf '%s\n' '$PROJECT_NAME=Calc' '$PROJECT_PATH=/home/u//calc/' "\$NAME='Node 1'" \
  '$CONFIGURATION=Debug ;c' '$WORKSPACE_NAME=ws' >"$work/header.txt"
KSPX_WORKSHOP_HEADER_FILE="$work/header.txt" memcheck 0 -tsf calc_test.tsf -tdf calc.tdf -xrd h.xrd

# A medium trace from the shared benchmark generator when it is there, else a
# smaller one of the same shape made here.
gen=${TALLYREP_BENCH_GEN:-$src/../shared/bench/gen_traces.py}
mkdir -p "$work/medium"
if [ -f "$gen" ] && python3 "$gen" typical "$work/medium" --scale 0.02 >/dev/null; then
  set -- $(cat "$work/medium/args")
  medium_args=""
  for a in "$@"; do
    case $a in -*) medium_args="$medium_args $a" ;; *) medium_args="$medium_args medium/$a" ;; esac
  done
else
  python3 - "$work/medium" <<'PY'
import sys
out = sys.argv[1]
tsf, tdf = [], []
for d in range(40):
    tsf += ['SO "Test%d.java"' % d, 'IN "File" 1 "Test%d"' % d, 'ID 3e8 %x' % d]
    line = 2
    cases = []
    for s in range(2):
        tsf.append('SI 1')
        tsf.append('IN "TestSuite" %x "suite%d"' % (line, s)); suite = line; line += 1
        for c in range(6):
            tsf.append('SI %x' % suite)
            tsf.append('IN "TestCase" %x "case%d"' % (line, c)); case = line; line += 1
            checks = []
            for k in range(5):
                tsf.append('LK %d' % (line * 3))
                tsf.append('TX %d "value%d == %d"' % (line, k, k)); checks.append(line); line += 1
            cases.append((case, checks))
    tsf.append('ED ')
    tdf.append('SF %x 3e8 %x' % (d + 1, d))
    for i, (case, checks) in enumerate(cases):
        tdf.append('NI %x %x' % (case, i + 1))
        for k, chk in enumerate(checks):
            tdf.append('GL %s %x' % ('97' if (i + k) % 11 == 0 else '96', chk))
        other = cases[(i + 1) % len(cases)][1][0]
        tdf += ['ST 96', 'NO %x "copy"' % other, 'ME %x 0' % checks[0], 'ST 64', 'NO "in"', 'MR ']
open(out + '/medium.tsf', 'w').write('\n'.join(tsf) + '\n')
open(out + '/medium.tdf', 'w').write('\n'.join(tdf) + '\n')
PY
  medium_args="-tsf medium/medium.tsf -tdf medium/medium.tdf -xrd out.xrd"
fi
memcheck 0 $medium_args

# A chain of 100,000 suites with a passed check at the bottom.
python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
with open(w + '/deep.tsf', 'w') as f:
    f.write('IN "File" 1 "Deep"\nID 1 2\n')
    f.write(''.join('IN "TestSuite" %x "s"\n' % (i + 2) for i in range(100000)))
    f.write('TX 999999 "deepest"\nED \n')
open(w + '/deep.tdf', 'w').write('SF 5 1 2\nNI %x 1\nGL 96 %x\n' % (100001, 999999))
PY
memcheck 0 -tsf deep.tsf -tdf deep.tdf -xrd deep.xrd

# Garbage as both traces and as the header file.
python3 -c "
import random, sys
r = random.Random(7)
for name in ('g.tsf', 'g.tdf', 'g.hdr'):
    open(sys.argv[1] + '/' + name, 'wb').write(bytes(r.getrandbits(8) for _ in range(200000)))
" "$work"
KSPX_WORKSHOP_HEADER_FILE="$work/g.hdr" memcheck 0 -tsf g.tsf calc_test.tsf -tdf g.tdf -xrd g.xrd

# The failure exits release what they hold as well.
mkdir -p "$work/adir"
memcheck 255 -tsf calc_test.tsf -tdf calc.tdf -xrd /dev/full
memcheck 255 -tsf calc_test.tsf -tdf adir -xrd o.xrd
memcheck 255 -tsf calc_test.tsf adir -tdf calc.tdf -xrd o.xrd
memcheck 255 -tsf missing.tsf -tdf calc.tdf -xrd o.xrd
memcheck 255 -tsf calc_test.tsf -tdf calc.tdf

exit $failed
