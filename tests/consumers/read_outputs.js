// The readers of tallyrep-export's outputs, run on them: the CTRF package's
// validator on --ctrf and Allure 3 on --junit, for the example report and for
// merged reports with non-ASCII texts; each check is of what a reader took in.
// usage: node read_outputs.js EXPORT_BIN OUT_DIR EXAMPLE.xrd MERGE_A.xrd MERGE_B.xrd ENCODINGS.xrd
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync, spawnSync } = require('child_process');
const { parse, validate } = require('ctrf');

const [exportBin, outDir, example, mergeA, mergeB, encodings] = process.argv.slice(2);
if (!encodings) {
  console.error('usage: node read_outputs.js EXPORT_BIN OUT_DIR EXAMPLE.xrd MERGE_A.xrd MERGE_B.xrd ENCODINGS.xrd');
  process.exit(2);
}
const allureCli = path.join(__dirname, 'node_modules', 'allure', 'cli.js');

let failures = 0;
function check(ok, what, got) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${ok || got === undefined ? '' : `: got ${JSON.stringify(got)}`}`);
  if (!ok) failures++;
}

// A trace's lines (the last line end ends the text), each a string or a
// pattern: the frame's class may carry a package.
function traceMatches(trace, want) {
  const lines = String(trace).replace(/\n$/, '').split('\n');
  return lines.length === want.length &&
    lines.every((line, k) => (typeof want[k] === 'string' ? line === want[k] : want[k].test(line)));
}

const cases = [
  {
    name: 'example', reports: [example], tests: 6, failed: 1, skipped: 0,
    failure: {
      path: 'CalcTest/ArithmeticSuite/CalcArithmetic/testDivide', name: 'testDivide',
      message: 'calc.divide(1, 3) == 0.333 at CalcTest.java:35',
      trace: ['calc.divide(1, 3) == 0.333: Executed 1, Failed 1, Passed 0',
        /^\tat (\S+\.)?testDivide\(CalcTest\.java:35\)$/, 'first failed check at CalcTest.java:35'],
    },
  },
  {
    // Latin-1 bytes, UTF-8 written as bytes, and a byte that starts no UTF-8
    // character (read as Latin-1: U+00C3, U+009F) in names, files and checks.
    name: 'merged', reports: [mergeA, mergeB, encodings], tests: 7, failed: 2, skipped: 1,
    passed: 'Lieferschein/gr\u00fc\u00dfe',
    failure: {
      path: 'Lieferschein/caf\u00e9', name: 'caf\u00e9',
      message: 'Gr\u00c3\u00bc\u00c3\u009fe und caf\u00e9 at Caf\u00e9.java:9',
      trace: ['Gr\u00c3\u00bc\u00c3\u009fe und caf\u00e9: Executed 1, Failed 1, Passed 0',
        /^\tat (\S+\.)?caf\u00e9\(Caf\u00e9\.java:9\)$/u, 'first failed check at Caf\u00e9.java:9'],
    },
  },
];

function readCtrf(c, file) {
  let report;
  try {
    // fatal: a byte that is not UTF-8 fails the read instead of becoming U+FFFD.
    report = parse(new TextDecoder('utf-8', { fatal: true }).decode(fs.readFileSync(file)));
  } catch (e) {
    check(false, `${c.name}: CTRF read as UTF-8 JSON`, e.message);
    return;
  }
  let result;
  try {
    result = validate(report, { specVersion: report.specVersion });
  } catch (e) {
    check(false, `${c.name}: the validator knows specVersion ${report.specVersion}`, e.message);
    return;
  }
  check(result.valid, `${c.name}: the CTRF validator accepts ${path.basename(file)} ` +
    `(specVersion ${report.specVersion})`, result.errors);
  const { summary, tests } = report.results;
  const count = status => tests.filter(t => t.status === status).length;
  console.log(`     ctrf read ${tests.length} tests: ${count('passed')} passed, ${count('failed')} failed, ` +
    `${count('skipped')} skipped; summary ${JSON.stringify(summary)}`);
  check(tests.length === c.tests && summary.tests === c.tests, `${c.name}: CTRF holds ${c.tests} tests`);
  check(count('failed') === c.failed && summary.failed === c.failed, `${c.name}: CTRF holds ${c.failed} failed`);
  check(count('skipped') === c.skipped && summary.skipped === c.skipped,
    `${c.name}: CTRF holds ${c.skipped} skipped (not executed)`);
  check(new Set(tests.map(t => t.name)).size === tests.length, `${c.name}: CTRF test names are unique`);
  if (c.passed) check(tests.some(t => t.name === c.passed && t.status === 'passed'), `${c.name}: CTRF passed ${c.passed}`);
  const t = tests.find(x => x.name === c.failure.path);
  check(t && t.status === 'failed', `${c.name}: CTRF failed test ${c.failure.path}`, t);
  if (!t) return;
  check(t.message === c.failure.message, `${c.name}: CTRF message`, t.message);
  check(traceMatches(t.trace, c.failure.trace), `${c.name}: CTRF trace lines`, t.trace);
}

// Allure's generated data: summary.json's totals and one JSON file per test
// result below data/test-results.
function readAllure(c, resultsDir, reportDir) {
  const run = spawnSync(process.execPath, [allureCli, 'generate', resultsDir, '-o', reportDir],
    { cwd: path.dirname(reportDir), encoding: 'utf8', timeout: 180000 });
  check(run.status === 0, `${c.name}: allure generate`, `${run.stdout}${run.stderr}${run.error || ''}`);
  if (run.status !== 0) return;
  const stats = JSON.parse(fs.readFileSync(path.join(reportDir, 'summary.json'), 'utf8')).stats;
  const dir = path.join(reportDir, 'data', 'test-results');
  const results = fs.readdirSync(dir).map(f => JSON.parse(fs.readFileSync(path.join(dir, f), 'utf8')));
  console.log(`     allure read ${JSON.stringify(stats)}, ${results.length} test results`);
  check(stats.total === c.tests && results.length === c.tests, `${c.name}: Allure read ${c.tests} tests`, stats);
  check((stats.failed || 0) === c.failed && results.filter(r => r.status === 'failed').length === c.failed,
    `${c.name}: Allure read ${c.failed} failed`, stats);
  check((stats.skipped || 0) === c.skipped, `${c.name}: Allure read ${c.skipped} skipped`, stats);
  const r = results.find(x => x.name === c.failure.name && x.status === 'failed');
  check(r !== undefined, `${c.name}: Allure failed test ${c.failure.name}`);
  if (!r) return;
  check(r.error && r.error.message === c.failure.message, `${c.name}: Allure message`, r.error);
  check(r.error && traceMatches(r.error.trace, c.failure.trace), `${c.name}: Allure trace lines`, r.error);
}

for (const c of cases) {
  const dir = path.join(outDir, c.name);
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(path.join(dir, 'junit'), { recursive: true });
  const ctrf = path.join(dir, `${c.name}.ctrf.json`);
  execFileSync(exportBin, [...c.reports, '--ctrf', ctrf, '--junit', path.join(dir, 'junit', `${c.name}.xml`)],
    { stdio: 'inherit' });
  readCtrf(c, ctrf);
  readAllure(c, path.join(dir, 'junit'), path.join(dir, 'allure-report'));
}
console.log(failures ? `${failures} checks failed` : 'all checks passed');
process.exit(failures ? 1 : 0);
