// Browser check of the HTML page of tallyrep-export in headless Chromium:
// totals, "failed only", the filter, deep links, the page under a CI server's
// policy and without script (with the failed check's source lines), printing, narrow screens, no outside requests,
// the changes since a baseline, the history of runs, accessibility rules, and how soon a large
// page answers. With --measure it only times the page of the report, served
// from a local web server: its size, when it is ready, its longest task.
// usage: node export_page.js EXPORT_BIN REPORT.xrd OUT_DIR [--measure [RUNS]]
//        (exit 77: no browser)
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const os = require('os');
const { execFileSync } = require('child_process');

const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';
const [exportBin, xrdPath, outDir, mode, runsArg] = process.argv.slice(2);
if (!exportBin || !xrdPath || !outDir || (mode && mode !== '--measure')) {
  console.error('usage: node export_page.js EXPORT_BIN REPORT.xrd OUT_DIR [--measure [RUNS]]');
  process.exit(2);
}
if (!fs.existsSync(CHROMIUM)) {
  console.log(`skipped: no browser at ${CHROMIUM}`);
  process.exit(77);
}
const { chromium } = require('playwright-core');

let failures = 0;
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures++;
}

// What the page must show, read from the report itself (not for --measure,
// whose report may be hundreds of megabytes).
const xrd = mode ? '' : fs.readFileSync(xrdPath, 'latin1');
function infoValue(label) {
  const m = xrd.match(new RegExp(`<CELL_TEXT STYLE="[^"]*">${label}</CELL_TEXT>\\s*<CELL_TEXT STYLE="[^"]*">([^<]*)<`));
  return m ? m[1].trim() : null;
}
const want = { passed: infoValue('Passed'), failed: infoValue('Failed'), total: infoValue('Total') };
const caseRe = /<DAZU:NODE name="([^"]*)" type="Test Case" state="(ok|ko|NE)"[^>]*><TITLE LEVEL="\d+" TAG="(\d+)"/g;
const cases = [...xrd.matchAll(caseRe)].map(m => ({ name: m[1], state: m[2], tag: m[3] }));
const failedCase = cases.find(c => c.state === 'ko');
const passedCase = cases.find(c => c.state === 'ok');

// A report of 1,000 test cases with 100 checks each, one check in 50 failed.
function largeReport() {
  const parts = ['<?xml version="1.0" encoding="UTF-8"?>\n<DAZU>\n<APIDOC>\n<DOCUMENT TITLE="large.xrd" TAG=" x0">\n',
    '<DAZU:NODE name="Large" type="Test Driver" state="ko" icone="testscript.xpm"><SECTION TAG="rootx3">\n'];
  let tag = 4, rows = 0;
  for (let c = 0; c < 1000; c++) {
    const failed = c % 10 === 0;
    parts.push(`<DAZU:NODE name="case${c}" type="Test Case" state="${failed ? 'ko' : 'ok'}" sum="1" icone="method.xpm">` +
      `<TITLE LEVEL="1" TAG="${tag++}" STYLE="Title2 ${failed ? 'Failed' : 'Passed'}">\n<TEXT>Test Case case${c}</TEXT>\n</TITLE>\n` +
      '<TABLE BORDER="1" WIDTH="40,15,15,15,15">\n<ROW>\n' +
      ['Expression', 'Status', 'Executed', 'Failed', 'Passed'].map(h => `<CELL_TEXT STYLE="Array Title">${h}</CELL_TEXT>\n`).join('') + '</ROW>\n');
    for (let k = 0; k < 100; k++, rows++) {
      const bad = failed && k % 5 === 0, st = bad ? 'Array Failed' : 'Array Passed';
      const expr = c === 0 && k === 0 ? 'x'.repeat(400) + ' == 0' : `value${k} == ${k}`;
      parts.push(`<ROW>\n<CELL STYLE="${st}"><LINK TARGET="Large.java line ${rows + 1}">\n<TEXT>${expr}</TEXT>\n</LINK>\n</CELL>\n` +
        `<CELL_TEXT STYLE="${st}">${bad ? 'Failed' : 'Passed'}</CELL_TEXT>\n<CELL_TEXT STYLE="${st}">1</CELL_TEXT>\n` +
        `<CELL_TEXT STYLE="${st}">${bad ? 1 : 0}</CELL_TEXT>\n<CELL_TEXT STYLE="${st}">${bad ? 0 : 1}</CELL_TEXT>\n</ROW>\n`);
    }
    parts.push('</TABLE>\n</DAZU:NODE>\n');
  }
  parts.push('</SECTION>\n</DAZU:NODE>\n</DOCUMENT>\n</APIDOC>\n</DAZU>\n');
  return { xml: parts.join(''), rows };
}

// 2,000 failed tests in 40 drivers: the list's first part is on the page,
// the rest comes at its end. Without script all are there at once; with
// script they join the list as it is scrolled, each once.
async function checkLongList(context, noScript) {
  const parts = ['<?xml version="1.0" encoding="UTF-8"?>\n<DAZU>\n<APIDOC>\n<DOCUMENT TITLE="long.xrd" TAG=" x0">\n'];
  for (let d = 0; d < 40; d++) {
    parts.push(`<DAZU:NODE name="Driver${d}" type="Test Driver" state="ko"><SECTION TAG="d${d}">\n`);
    for (let c = 0; c < 50; c++)
      parts.push(`<DAZU:NODE name="testNumber${c}WithALongerName" type="Test Case" state="ko"><TITLE TAG="t${d}x${c}">` +
        `<TEXT>Test Case testNumber${c}WithALongerName</TEXT></TITLE><TABLE><ROW><CELL STYLE="Array Failed">` +
        `<LINK TARGET="Driver${d}.java line ${c + 1}"><TEXT>x == ${c}</TEXT></LINK></CELL>` +
        '<CELL_TEXT STYLE="Array Failed">Failed</CELL_TEXT></ROW></TABLE></DAZU:NODE>\n');
    parts.push('</SECTION></DAZU:NODE>\n');
  }
  parts.push('</DOCUMENT>\n</APIDOC>\n</DAZU>\n');
  const xrdFile = path.join(outDir, 'long.xrd'), page = path.join(outDir, 'long.html');
  fs.writeFileSync(xrdFile, parts.join(''));
  execFileSync(exportBin, [xrdFile, '--html', page]);
  const url = 'file://' + path.resolve(page);
  // A line at the end of the page names its test by number until the script links it.
  const names = () => [...document.querySelectorAll('.failed-list > li > a')]
    .map(a => a.getAttribute('href') || 'test ' + a.dataset.n);
  const off = await noScript.newPage();
  await off.goto(url);
  const plain = await off.evaluate(names);
  const pointer = await off.$eval('#failed-more-note a', a => a.getAttribute('href')).catch(() => '');
  check(plain.length === 2000 && new Set(plain).size === 2000 && pointer === '#failed-more' &&
    await off.$('#failed-more') !== null, `without script all ${plain.length} of 2000 failed tests are listed, the rest pointed to`);
  await off.close();
  const tab = await context.newPage();
  await tab.goto(url);
  await tab.waitForSelector('body[data-ready="true"]');
  const first = (await tab.evaluate(names)).length;
  let seen = first;
  for (let k = 0; k < 100 && seen < 2000; k++) {
    await tab.evaluate(() => { const f = document.getElementById('failures'); f.scrollTop = f.scrollHeight; });
    await tab.evaluate(() => new Promise(r => requestAnimationFrame(() => r())));
    seen = (await tab.evaluate(names)).length;
  }
  const all = await tab.evaluate(names);
  const linked = all.filter(a => /^#Driver\d+\/testNumber\d+WithALongerName$/.test(a));
  check(first < 2000 && all.length === 2000 && new Set(all).size === 2000 && linked.length === 2000,
    `with script the list shows ${first} failed tests, then all ${all.length} as it is scrolled, ` +
    `${linked.length} linked to their anchors`);
  await tab.close();
}

// Opening the page and every switch stay quick, and the DOM stays small
// however many rows the report holds.
async function checkLarge(context) {
  const { xml, rows } = largeReport();
  const xrdFile = path.join(outDir, 'large.xrd'), page = path.join(outDir, 'large.html');
  fs.writeFileSync(xrdFile, xml);
  execFileSync(exportBin, [xrdFile, '--html', page]);
  const tab = await context.newPage();
  const frame = () => tab.evaluate(() => new Promise(r => requestAnimationFrame(() => r())));
  let t = Date.now();
  await tab.goto('file://' + path.resolve(page));
  await tab.waitForSelector('body[data-ready="true"]', { timeout: 60000 });
  const opened = Date.now() - t;
  check(opened < 20000, `page of ${rows} check rows opens in ${opened} ms`);
  const slowest = [];
  for (const [what, act] of [['failed only', () => tab.check('#failed-only')], ['all again', () => tab.uncheck('#failed-only')],
    ['collapse all', () => tab.click('#collapse-all')], ['expand all', () => tab.click('#expand-all')],
    ['scroll', () => tab.evaluate(() => { const m = document.getElementById('main'); m.scrollTop = m.scrollHeight * 0.7; })]]) {
    t = Date.now();
    await act();
    await frame();
    slowest.push([what, Date.now() - t]);
  }
  const worst = slowest.reduce((a, b) => (b[1] > a[1] ? b : a));
  check(worst[1] < 3000, `every switch answers quickly (slowest: ${worst[0]}, ${worst[1]} ms)`);
  t = Date.now();
  await tab.fill('#filter', 'xxxxxxxxxx');
  await tab.waitForFunction(() => /^2 of/.test(document.getElementById('shown').textContent));
  const filtered = Date.now() - t;
  check(filtered < 3000, `filtering by check text answers in ${filtered} ms`);
  await tab.fill('#filter', '');
  await tab.waitForFunction(() => !/^2 of/.test(document.getElementById('shown').textContent));
  const nodes = await tab.$$eval('#panes *', els => els.length);
  check(nodes < 5000, `the view keeps ${nodes} elements for ${rows} rows`);

  // A location stays whole beside an expression too long for its column.
  await tab.evaluate(() => { document.getElementById('main').scrollTop = 0; });
  await frame();
  const loc = await tab.$eval('#main .row .loc', e => {
    const b = e.getBoundingClientRect(), m = document.getElementById('main').getBoundingClientRect();
    return { text: e.textContent, visible: b.width > 0 && b.right <= m.right + 1 };
  });
  check(loc.text === 'Large.java:1' && loc.visible, `a long check keeps its location in view (${JSON.stringify(loc)})`);

  // Above the print limit paper gets the failed tests and says what it left out.
  await tab.emulateMedia({ media: 'print' });
  await tab.evaluate(() => window.dispatchEvent(new Event('beforeprint')));
  const printed = await tab.evaluate(() => ({
    note: document.querySelector('#print-list .print-note').textContent,
    secs: [...document.querySelectorAll('#print-list .sec')].map(e => e.className),
    passedRows: document.querySelectorAll('#print-list .row.passed').length,
  }));
  check(printed.secs.length === 101 && printed.secs.every(c => /\bko\b/.test(c)) && printed.passedRows === 0,
    `a long report prints its ${printed.secs.length} failed sections with their failed checks`);
  check(/left out/.test(printed.note) && /Print all/.test(printed.note), `the print says what it left out: "${printed.note}"`);
  await tab.evaluate(() => window.dispatchEvent(new Event('afterprint')));
  await tab.emulateMedia({ media: 'screen' });
  await tab.close();
}

// What a CI server shows with scripts and inline style blocked, or a browser
// with script off: on top, how many failed tests are listed and that the tree
// needs script; then every failed test with its checks' locations, and the
// source lines of its failed check with that line marked; in both schemes.
async function checkStatic(tab, how, shot) {
  const seen = await tab.evaluate(() => {
    const li = document.querySelector('.failed-list > li');
    const note = document.getElementById('script-note');
    const mark = document.querySelector('.snippet mark');
    return {
      test: li ? li.querySelector('a').textContent : '',
      link: li ? /^#./.test(li.querySelector('a').getAttribute('href')) : false,
      locs: [...document.querySelectorAll('.failures h3.group .loc, .failed-list .loc')].map(e => e.textContent),
      listed: document.querySelectorAll('.failed-list > li').length,
      note: note ? note.textContent : '',
      noteOnTop: note ? note.getBoundingClientRect().top < innerHeight / 2 : false,
      marked: mark ? mark.textContent : '',
      markShown: mark ? getComputedStyle(mark).backgroundColor !== 'rgba(0, 0, 0, 0)' : false,
      controls: [document.getElementById('toolbar'), document.getElementById('panes')].some(e => e.offsetHeight > 0),
      ringFill: getComputedStyle(document.querySelector('.donut circle')).fill,
      width: document.documentElement.scrollWidth,
    };
  });
  check(seen.test.endsWith(failedCase.name) && seen.link, `${how}: the failed test ${seen.test} is listed with its link`);
  check(seen.locs.length > 0 && seen.locs.every(l => /\.java(:\d+(, \d+)*)?$|^line \d+(, \d+)*$/.test(l)),
    `${how}: its checks show ${seen.locs.join(', ')}`);
  const all = cases.filter(c => c.state === 'ko').length;
  check(seen.noteOnTop && seen.listed === all && /needs JavaScript/.test(seen.note) &&
    seen.note.includes(all === 1 ? 'the one failed test is listed' : `all ${all} are listed`),
  `${how}: on top, "${seen.note}", and ${seen.listed} of ${all} failed tests listed`);
  check(/^> 35 \| /.test(seen.marked) && seen.markShown, `${how}: the failed check's source line is marked: "${seen.marked}"`);
  check(!seen.controls && seen.ringFill === 'none' && seen.width <= 1280,
    `${how}: no dead controls, the ring is a ring, nothing runs off (${JSON.stringify(seen)})`);
  for (const scheme of ['light', 'dark']) {
    await tab.emulateMedia({ colorScheme: scheme });
    await tab.screenshot({ path: path.join(outDir, shot.replace('.png', `-${scheme}.png`)), fullPage: true });
  }
  await tab.emulateMedia({ colorScheme: 'light' });
}

// The filter finds checks by their text and their source file; the view goes
// into the URL and comes back from it.
async function checkFinding(context, url, errors) {
  const tab = await context.newPage();
  tab.on('pageerror', e => errors.push(String(e)));
  await tab.goto(url);
  await tab.waitForSelector('body[data-ready="true"]');
  const want = await tab.$eval('.failed-list > li', li => ({
    id: li.querySelector('a').getAttribute('href').slice(1),
    text: document.querySelector('.snippet figcaption').lastChild.textContent.trim(),
    // The file is named by the line, or once in the heading of the line's group.
    file: (li.querySelector('.loc').textContent.startsWith('line ')
      ? li.parentElement.previousElementSibling.querySelector('.loc') : li.querySelector('.loc'))
      .textContent.replace(/:[\d, ]+$/, ''),
  }));
  for (const [what, q] of [['check text', want.text], ['source file', want.file]]) {
    await tab.fill('#filter', q);
    await tab.waitForFunction(q => location.hash.includes('q=' + encodeURIComponent(q)), q);
    const found = await tab.$(`#main .sec[data-anchor="${want.id}"]`);
    const rows = await tab.$$eval('#main .row .expr', els => els.map(e => e.textContent));
    check(found !== null && rows.includes(want.text), `filter by ${what} "${q}" finds ${want.id} and its check`);
    if (what === 'check text') {
      // Of a section matched by one of its checks, the view shows that check and the table heads.
      const checks = await tab.$$eval('#main .row:not(.heading) .expr', els => els.map(e => e.textContent));
      check(checks.length > 0 && checks.every(r => r.toLowerCase().includes(q.toLowerCase())),
        `and no other check (${checks.join(' | ')})`);
    }
  }
  await tab.check('#failed-only');
  const link = tab.url();
  const again = await context.newPage();
  await again.goto(link);
  await again.waitForSelector('body[data-ready="true"]');
  const restored = await again.evaluate(() => ({
    failed: document.getElementById('failed-only').checked, filter: document.getElementById('filter').value,
    secs: [...document.querySelectorAll('#main .sec')].map(e => e.className),
  }));
  check(restored.failed && restored.filter === want.file && restored.secs.length > 0 &&
    restored.secs.every(c => /\bko\b/.test(c)), `the view comes back from ${link.slice(link.indexOf('#'))}`);
  await again.close();
  await tab.close();
}

// At phone width the page scrolls only up and down, without the tree pane.
async function checkNarrow(context, url) {
  const tab = await context.newPage();
  await tab.setViewportSize({ width: 420, height: 860 });
  await tab.goto(url);
  await tab.waitForSelector('body[data-ready="true"]');
  const seen = await tab.evaluate(() => ({
    width: document.documentElement.scrollWidth, nav: getComputedStyle(document.getElementById('nav')).display,
  }));
  check(seen.width <= 420 && seen.nav === 'none', `at 420 px nothing runs off the side (${JSON.stringify(seen)})`);
  await tab.screenshot({ path: path.join(outDir, 'export-page-420.png'), fullPage: true });
  await tab.close();
}

// With a baseline the changes come first on screen, new failures on top, and
// the view marks each changed test. Skipped while the exporter has no
// --baseline (usage error, status 2).
async function checkChanges(context) {
  const data = path.join(__dirname, '..', 'export', 'data');
  const page = path.join(outDir, 'changes.html');
  try {
    execFileSync(exportBin, [path.join(data, 'summary_new.xrd'), '--baseline', path.join(data, 'summary_base.xrd'),
      '--html', page], { stdio: 'pipe' });
  } catch (e) {
    if (e.status === 2) { console.log('skipped: the exporter does not take --baseline'); return; }
    throw e;
  }
  const tab = await context.newPage();
  await tab.goto('file://' + path.resolve(page));
  await tab.waitForSelector('body[data-ready="true"]');
  const seen = await tab.evaluate(() => {
    const changes = document.querySelector('.changes'), failures = document.querySelector('.failures');
    if (!changes) return { changes: 'missing' };
    const first = changes.querySelector('.change-list');
    return {
      onScreen: changes.getBoundingClientRect().top < innerHeight,
      before: (changes.compareDocumentPosition(failures) & Node.DOCUMENT_POSITION_FOLLOWING) !== 0,
      heading: changes.querySelector('h3').textContent,
      top: [...first.querySelectorAll('li')].map(li => li.textContent),
    };
  });
  check(seen.onScreen && seen.before && /^New failures/.test(seen.heading) &&
    JSON.stringify(seen.top) === JSON.stringify(['D/S/a', 'D/S/brand']),
  `the changes come first with the new failures on top (${JSON.stringify(seen)})`);
  const badge = await tab.$eval('#main .sec[data-anchor="D/S/a"] .change', e => e.textContent).catch(() => null);
  check(badge === 'New failure', `the view marks a new failure (${badge})`);
  await tab.screenshot({ path: path.join(outDir, 'export-page-changes.png') });
  await tab.close();
}

// With a history of runs the plain part shows the trend and, beside each
// failed test, its strip and words, under a CI server's policy and without
// script as with it; the view shows the same strip and words beside each
// test. Five runs of two reports whose tests pass, fail, flip and come and go.
const HISTORY_WANT = {
  'D/S/a': ['last 5 runs, oldest first: passed, failed, passed, failed 2 times', 'flaky (3 flips in 5 runs)'],
  'D/S/b': ['last 5 runs, oldest first: failed 5 times', 'failing since b1 (5 runs)'],
  'D/S/brand': ['last 5 runs, oldest first: absent, failed, absent, failed 2 times', 'failing since b4 (2 runs)'],
};
async function checkHistory(context, noScript) {
  const data = path.join(__dirname, '..', 'export', 'data');
  const page = path.join(outDir, 'history.html'), kept = path.join(outDir, 'history.runs');
  fs.rmSync(kept, { force: true });
  ['summary_base', 'summary_new', 'summary_base', 'summary_new', 'summary_new'].forEach((report, k) => {
    execFileSync(exportBin, [path.join(data, report + '.xrd'), '--html', page, '--history', kept,
      '--run-label', 'b' + (k + 1)]);
  });
  const plain = () => ({
    trend: (document.querySelector('.trend svg[role="img"]') || { ariaLabel: '' }).getAttribute('aria-label'),
    bars: [...document.querySelectorAll('.trend-chart rect')].map(r => getComputedStyle(r).fill),
    ends: (document.querySelector('.trend-ends') || {}).textContent,
    listed: [...document.querySelectorAll('.failed-list > li')].map(li => [li.querySelector('a').getAttribute('href').slice(1),
      li.querySelector('.strip').getAttribute('aria-label'), (li.querySelector('.hw') || {}).textContent]),
  });
  await context.route('http://ci.invalid/history.html', r => r.fulfill({
    status: 200, contentType: 'text/html; charset=utf-8', body: fs.readFileSync(page),
    headers: { 'Content-Security-Policy': "sandbox; default-src 'none'; img-src 'self'; style-src 'self';" },
  }));
  for (const [ctx, url, how] of [[context, 'http://ci.invalid/history.html', 'ci'],
    [noScript, 'file://' + path.resolve(page), 'noscript'], [context, 'file://' + path.resolve(page), 'script']]) {
    const tab = await ctx.newPage();
    await tab.goto(url);
    if (how === 'script') await tab.waitForSelector('body[data-ready="true"]');
    const seen = await tab.evaluate(plain);
    check(/^Passed, failed and not-run tests in 5 runs from b1 to b5: passed \d+ to \d+, failed \d+ to \d+, not run \d+ to \d+$/.test(seen.trend) &&
      seen.bars.length >= 5 && seen.bars.every(f => f !== 'rgb(0, 0, 0)') && /^b1.*b5$/.test(seen.ends),
    `${how}: the trend is drawn, named "${seen.trend}", its ends "${seen.ends}"`);
    const want = Object.entries(HISTORY_WANT).map(([p, w]) => [p, ...w]);
    check(JSON.stringify(seen.listed) === JSON.stringify(want), `${how}: each failed test has its strip and words ${JSON.stringify(seen.listed)}`);
    // The names as the browser's accessibility tree gives them.
    const named = async where => {
      let found = 0;
      for (const [label] of Object.values(HISTORY_WANT)) found += await tab.locator(where).getByRole('img', { name: label, exact: true }).count();
      return found;
    };
    check(await named('.failures') === 3, `${how}: the strips' names are in the accessibility tree`);
    if (how === 'script') {
      const view = await tab.evaluate(() => [...document.querySelectorAll('#main .sec')].filter(e => e.querySelector('.strip'))
        .map(e => [e.dataset.anchor, e.querySelector('.strip').getAttribute('aria-label'), (e.querySelector('.hw') || {}).textContent]));
      const failedInView = view.filter(v => HISTORY_WANT[v[0]]);
      check(JSON.stringify(failedInView) === JSON.stringify(want) && await named('#main') === 3,
        `the view shows the same strips and words beside each test ${JSON.stringify(view)}`);
    }
    for (const scheme of ['light', 'dark']) {
      await tab.emulateMedia({ colorScheme: scheme });
      await (await tab.$('.trend')).screenshot({ path: path.join(outDir, `history-trend-${how}-${scheme}.png`) });
      await (await tab.$('.failures')).screenshot({ path: path.join(outDir, `history-failed-${how}-${scheme}.png`) });
      if (how === 'script') await (await tab.$('#main')).screenshot({ path: path.join(outDir, `history-view-${scheme}.png`) });
    }
    if (how === 'script') await checkAccessible(tab, page);
    await tab.close();
  }
}

async function launch(profile, options) {
  return chromium.launchPersistentContext(profile, Object.assign({
    executablePath: CHROMIUM,
    headless: true,
    viewport: { width: 1280, height: 900 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  }, options));
}

// The accessibility rules of axe-core, with every section open, in both
// colour schemes: landmarks, names of controls, contrast, ARIA use.
// The page without its script stands for what a CI server shows.
async function checkAccessible(tab, page) {
  const staticTab = await tab.context().newPage();
  await staticTab.setContent(fs.readFileSync(page, 'utf8').replace(/<script>[^]*?<\/script>/g, ''));
  await tab.click('#expand-all');
  for (const [t, how] of [[tab, ''], [staticTab, ' without script']]) {
    await t.addScriptTag({ path: require.resolve('axe-core/axe.min.js') });
    for (const scheme of ['light', 'dark']) {
      await t.emulateMedia({ colorScheme: scheme });
      const broken = await t.evaluate(async () => (await axe.run(document, { resultTypes: ['violations'] }))
        .violations.map(v => `${v.id} at ${v.nodes.map(n => n.target.join(' ')).slice(0, 3).join(', ')}`));
      check(broken.length === 0, `no accessibility rule is broken in the ${scheme} scheme${how} ${broken.join('; ')}`);
    }
  }
  await tab.emulateMedia({ colorScheme: 'light' });
  await staticTab.close();
}

// Serves the page from a local web server, as a CI server serves an archived
// one, and loads it in fresh tabs: the bytes sent, when the page was ready
// (its body marked data-ready), and its tasks over 50 ms, from the start of
// each load. The median of the runs, and the longest task of all.
async function timeLoads(context, page, runs) {
  const size = fs.statSync(page).size;
  const server = http.createServer((req, res) => {
    res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8', 'Content-Length': size });
    fs.createReadStream(page).pipe(res);
  });
  await new Promise(r => server.listen(0, '127.0.0.1', r));
  const url = `http://127.0.0.1:${server.address().port}/page.html`;
  const ready = [], tasks = [];
  try {
    for (let k = 0; k < runs; k++) {
      const tab = await context.newPage();
      await tab.addInitScript(() => {
        window.loadTasks = [];
        new PerformanceObserver(list => list.getEntries().forEach(e => window.loadTasks.push(e.duration)))
          .observe({ type: 'longtask', buffered: true });
        new MutationObserver((records, self) => {
          if (document.body && document.body.dataset.ready) { window.readyAt = performance.now(); self.disconnect(); }
        }).observe(document, { attributes: true, subtree: true, attributeFilter: ['data-ready'] });
      });
      await tab.goto(url);
      await tab.waitForSelector('body[data-ready="true"]', { state: 'attached', timeout: 120000 });
      await tab.evaluate(() => new Promise(r => setTimeout(r, 300)));  // tasks still being reported
      const seen = await tab.evaluate(() => ({ ready: window.readyAt, tasks: window.loadTasks }));
      ready.push(seen.ready);
      tasks.push(...seen.tasks);
      await tab.close();
    }
  } finally {
    server.close();
  }
  ready.sort((a, b) => a - b);
  return { bytes: size, ready: ready[Math.floor(ready.length / 2)], longest: Math.max(0, ...tasks) };
}

async function measure() {
  fs.mkdirSync(outDir, { recursive: true });
  const page = path.join(outDir, 'measured.html');
  execFileSync(exportBin, [xrdPath, '--html', page]);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tallyrep-chromium-'));
  const context = await launch(profile, {});
  try {
    const t = await timeLoads(context, page, Number(runsArg) || 5);
    console.log(`page ${(t.bytes / 1e6).toFixed(1)} MB, ready after ${Math.round(t.ready)} ms, ` +
      `longest task ${Math.round(t.longest)} ms`);
  } finally {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

async function main() {
  fs.mkdirSync(outDir, { recursive: true });
  const page = path.join(outDir, 'export-page.html');
  // A checkout with the example's test source stands in for the tests' sources,
  // so that the page shows the failed check's lines.
  const sources = path.join(outDir, 'sources');
  fs.mkdirSync(sources, { recursive: true });
  const lines = Array.from({ length: 40 }, (_, i) => `    line ${i + 1} <of> the "source" & more`);
  for (const name of new Set([...xrd.matchAll(/LINK TARGET="([^"]+?) line \d+"/g)].map(m => m[1])))
    fs.writeFileSync(path.join(sources, name), lines.join('\n') + '\n');
  execFileSync(exportBin, [xrdPath, '--html', page, '--source-root', sources]);
  const url = 'file://' + path.resolve(page);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tallyrep-chromium-'));
  // A fresh profile per run: nothing of an earlier run or of the user leaks in.
  const context = await launch(profile, {});
  const noScript = await launch(path.join(profile, 'no-script'), { javaScriptEnabled: false });
  try {
    if (failedCase) {
      // Served as a CI server serves archived files, under its default policy.
      await context.route('http://ci.invalid/**', r => r.fulfill({
        status: 200, contentType: 'text/html; charset=utf-8', body: fs.readFileSync(page),
        headers: { 'Content-Security-Policy': "sandbox; default-src 'none'; img-src 'self'; style-src 'self';" },
      }));
      const ci = await context.newPage();
      await ci.goto('http://ci.invalid/job/export-page.html');
      await checkStatic(ci, 'under the CI policy', 'export-page-ci.png');
      await ci.close();
      const off = await noScript.newPage();
      await off.goto(url);
      await checkStatic(off, 'without script', 'export-page-noscript.png');
      await off.close();
    }

    const tab = await context.newPage();
    const errors = [], outside = [];
    tab.on('pageerror', e => errors.push(String(e)));
    tab.on('console', m => { if (m.type() === 'error') errors.push(m.text()); });
    tab.on('request', r => { if (!/^(file|data|about):/.test(r.url())) outside.push(r.url()); });
    await tab.goto(url);
    await tab.waitForSelector('body[data-ready="true"]');

    const shown = {
      passed: await tab.textContent('#count-passed'),
      failed: await tab.textContent('#count-failed'),
      total: await tab.textContent('#count-total'),
    };
    check(want.passed !== null && JSON.stringify(shown) === JSON.stringify(want),
      `totals ${JSON.stringify(shown)} match the report ${JSON.stringify(want)}`);

    await tab.screenshot({ path: path.join(outDir, 'export-page-top.png') });
    const states = sel => tab.$$eval(sel, els => els.map(e => e.className));
    const before = await states('#main .sec');
    check(before.some(c => /\bok\b/.test(c)) && before.some(c => /\bko\b/.test(c)),
      'passed and failed sections are listed');
    await tab.check('#failed-only');
    const mainFailed = await states('#main .sec');
    const navFailed = await states('#nav .item');
    check(mainFailed.length > 0 && mainFailed.every(c => /\bko\b/.test(c)),
      `"failed only" leaves ${mainFailed.length} sections, all failed`);
    check(navFailed.length > 0 && navFailed.every(c => /\bko\b/.test(c)), '"failed only" prunes the tree');
    const rows = await states('#main .row');
    check(rows.every(c => /\b(failed|heading)\b/.test(c)), '"failed only" hides passed check rows');
    await tab.uncheck('#failed-only');
    check((await states('#main .sec')).length === before.length, 'unchecking shows every section again');

    // The failed tests come first, before the information table.
    const firstScreen = await tab.evaluate(() => {
      const f = document.querySelector('.failures').getBoundingClientRect();
      const info = document.querySelector('.info');
      return f.top < innerHeight && (info.compareDocumentPosition(document.querySelector('.failures')) & Node.DOCUMENT_POSITION_PRECEDING) !== 0;
    });
    check(firstScreen, 'the failed tests come first, before the information table');

    const target = passedCase || failedCase;
    await tab.fill('#filter', target.name);
    await tab.waitForFunction(n => [...document.querySelectorAll('#main .sec')].length > 0 &&
      [...document.querySelectorAll('#main .sec')].length < n, before.length);
    const titles = await tab.$$eval('#main .sec .title', els => els.map(e => e.textContent));
    check(titles.includes(`Test Case ${target.name}`), `filter "${target.name}" finds the test case`);
    const navNames = await tab.$$eval('#nav a', els => els.map(e => e.textContent));
    check(navNames.some(t => t.endsWith(target.name)), 'filter shows the test case in the tree');
    await tab.fill('#filter', '');

    if (failedCase) {
      await checkFinding(context, url, errors);
      // A deep link opened fresh, as from a bookmark or a CI server's page:
      // by the path of names, and by the TAG that older pages linked to.
      const id = await tab.$eval('.failed-list > li > a', e => e.getAttribute('href').slice(1));
      const deep = await context.newPage();
      deep.on('pageerror', e => errors.push(String(e)));
      deep.on('request', r => { if (!/^(file|data|about):/.test(r.url())) outside.push(r.url()); });
      await deep.goto(url + '#' + failedCase.tag);
      await deep.waitForSelector('body[data-ready="true"]');
      check(await deep.$(`#main .sec.current[data-anchor="${id}"]`) !== null, `old link #${failedCase.tag} still finds ${id}`);
      await deep.goto('about:blank');
      await deep.goto(url + '#' + id);
      await deep.waitForSelector('body[data-ready="true"]');
      const sec = await deep.$(`#main .sec[data-anchor="${id}"]`);
      check(sec !== null, `deep link #${id} renders its section`);
      if (sec) {
        const cls = await sec.getAttribute('class');
        const toggle = await sec.$('button.twisty');
        const expanded = toggle ? await toggle.getAttribute('aria-expanded') : 'true';
        const box = await sec.boundingBox(), mainBox = await (await deep.$('#main')).boundingBox();
        check(/\bcurrent\b/.test(cls) && expanded === 'true', 'the linked section is marked and open');
        const tips = await deep.$$eval('#main .row .c0', els => els.map(e => e.title));
        check(tips.some(t => /\n> 35 \|     line 35 <of> the "source" & more\n/.test(t)),
          'the failed check\'s tooltip holds its source lines, its own marked');
        const lines = await deep.$$eval('#main .item.src', els => els.map(e => [e.className, e.textContent]));
        check(lines.length === 5 && lines.filter(l => /\bat\b/.test(l[0])).length === 1 &&
          lines.some(l => /\bat\b/.test(l[0]) && /^> 35 \| /.test(l[1])),
        `the view shows the failed check's source lines below it, its own marked: ${JSON.stringify(lines)}`);
        check(box && box.y >= mainBox.y - 1 && box.y + box.height <= mainBox.y + mainBox.height + 1,
          `the linked section is in view (${JSON.stringify(box)} in ${JSON.stringify(mainBox)})`);
      }
      await deep.screenshot({ path: path.join(outDir, 'export-page.png') });
      await deep.close();
    } else {
      await tab.screenshot({ path: path.join(outDir, 'export-page.png') });
    }

    await tab.emulateMedia({ colorScheme: 'dark' });
    const dark = await tab.evaluate(() => getComputedStyle(document.body).backgroundColor);
    await tab.emulateMedia({ colorScheme: 'light' });
    const light = await tab.evaluate(() => getComputedStyle(document.body).backgroundColor);
    check(dark !== light, `dark scheme follows the system (${light} / ${dark})`);
    await checkAccessible(tab, page);

    // Printing lays out every section in document order, without the controls.
    await tab.goto(url);
    await tab.waitForSelector('body[data-ready="true"]');
    await tab.emulateMedia({ media: 'print' });
    await tab.evaluate(() => window.dispatchEvent(new Event('beforeprint')));
    const printed = await tab.$$eval('#print-list .sec', els => els.length);
    const navShown = await tab.$eval('#nav', e => getComputedStyle(e).display);
    check(printed === before.length && navShown === 'none', `print shows all ${printed} sections and no tree`);
    await tab.pdf({ path: path.join(outDir, 'export-page.pdf') });
    await tab.emulateMedia({ media: 'screen' });

    await checkNarrow(context, url);
    await checkChanges(context);
    await checkHistory(context, noScript);
    await checkLarge(context);
    await checkLongList(context, noScript);
    check(errors.length === 0, `no script errors ${errors.join(' | ')}`);
    check(outside.length === 0, `no request leaves the file ${outside.join(' ')}`);
    console.log(`screenshot: ${path.join(outDir, 'export-page.png')}`);
  } finally {
    await noScript.close();
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

(mode ? measure : main)().then(() => process.exit(failures ? 1 : 0), e => { console.error(e); process.exit(1); });
