// The page's interactive view: a virtual list of every section and check, the
// test tree, "failed only", the filter, anchors and view state in the URL,
// and each test's change since a baseline when the page compares with one;
// its data is the compressed columns that page_data.h describes.
(function () {
'use strict';
// The failed tests past the list's first part come at the end of the page as
// the texts of <noscript> elements of about 64 KiB, which cost a browser
// running script nothing to build: each time the list is scrolled near its
// end, the next one goes in where the list ends. Their links name their test
// by its number (data-n), which becomes its anchor once the view is ready.
var moreAt = document.getElementById('failed-more-note'), rest = null, anchorOf = null;
function linkMore() {
  if (!moreAt || !anchorOf) return;
  [].forEach.call(moreAt.parentNode.querySelectorAll('a[data-n]'), function (a) {
    a.href = '#' + anchorOf(+a.dataset.n);
    a.removeAttribute('data-n');
  });
}
if (moreAt) {
  var addMore = function () {
    if (rest === null) {
      var section = document.getElementById('failed-more');
      if (!section || document.readyState === 'loading') return;  // still coming
      rest = [].map.call(section.querySelectorAll('noscript'), function (e) { return e.textContent; });
      if (rest.length) rest[0] = rest[0].slice(rest[0].indexOf('<h3 class="group">'));
      section.remove();
    }
    // Near its end: less than 400 px of the list below what its box (or the
    // window, where the box does not scroll) shows.
    var box = document.getElementById('failures');
    while (rest.length && moreAt.previousElementSibling.getBoundingClientRect().bottom <
           Math.min(box.getBoundingClientRect().bottom, innerHeight) + 400)
      moreAt.insertAdjacentHTML('beforebegin', rest.shift());
    linkMore();
  };
  document.getElementById('failures').addEventListener('scroll', addMore, { passive: true });
  window.addEventListener('scroll', addMore, { passive: true });
  document.addEventListener('DOMContentLoaded', addMore);
}
// The data comes in parts, base64 of one zlib stream, each part followed by a
// script that hands it here: the browser inflates the first parts while it
// still reads the later ones, and the view starts once the last is in.
var note = document.getElementById('script-note');
if (typeof DecompressionStream === 'undefined') {
  note.textContent += ' This browser cannot unpack the page\'s data: open it in a current one.';
  return;
}
// The steps after the last part run ahead of the browser's own work on the
// rest of the page (the failed tests at its end), where it can say so.
function soon(f) {
  if (window.scheduler && scheduler.postTask) scheduler.postTask(f, { priority: 'user-blocking' });
  else setTimeout(f);
}
var inflate = new DecompressionStream('deflate'), writer = inflate.writable.getWriter();
var reader = inflate.readable.getReader();
reader.read().then(function got(r) {
  if (r.done) return soon(finish);
  take(r.value);
  return reader.read().then(got);
});
function bytesOf(b64) {
  if (Uint8Array.fromBase64) return Uint8Array.fromBase64(b64);
  var bin = atob(b64), out = new Uint8Array(bin.length);
  for (var q = 0; q < bin.length; q++) out[q] = bin.charCodeAt(q);
  return out;
}
window.xrdPart = function (last) {
  var part = document.currentScript.previousElementSibling;
  writer.write(bytesOf(part.textContent));
  part.textContent = '';
  if (last) writer.close();
};

// The inflated bytes are the head, the columns of little-endian numbers
// (page_data.h) and the texts. Each column is copied into an array of its own
// as its bytes come, and viewed as numbers of its width: nothing is decoded,
// and little is left to do once the last part is in.
var head = null, C = [], plan = null, into = new Uint8Array(68), filled = 0, width = 0;
var utf8 = new TextDecoder(), pieces = [];
function take(bytes) {
  for (var q = 0, k; q < bytes.length;) {
    if (!into) { if (pieces) pieces.push(utf8.decode(q ? bytes.subarray(q) : bytes, { stream: true })); return; }
    k = Math.min(into.length - filled, bytes.length - q);
    into.set(bytes.subarray(q, q + k), filled); filled += k; q += k;
    if (filled === into.length && !next()) return;
  }
}
// What the bytes just taken were, and where the next go: false when the data
// is none of this page's.
function next() {
  var words = new Uint32Array(into.buffer, 0, into.length >> 2), count;
  if (!head) {
    if (words[0] !== 0x34445258) return (into = null, pieces = null, false);
    head = Array.from(words);
    var n = head[1], m = head[2], s = head[15];
    // The number of each column, in order; the history's runs and first word
    // are a column of two.
    plan = [n, n, n, n, n, m, m, m, m, m, m, head[3], s, s, s, s];
    if (head[5] & 2) plan.push(2, n, n);
    plan.push(head[4]);
    width = 0;
  } else if (!width) {
    width = words[0];
    if (width !== 1 && width !== 2 && width !== 4) return (into = null, pieces = null, false);
    count = plan[C.length];
    into = new Uint8Array((count * width + 3) & ~3); filled = 0;
    if (into.length) return true;
  }
  if (width) {
    count = plan[C.length];
    C.push(width === 1 ? into.subarray(0, count) : width === 2 ? new Uint16Array(into.buffer, 0, count)
      : new Uint32Array(into.buffer, 0, count));
    width = 0;
    arrived(C.length - 1);
  }
  into = C.length < plan.length ? new Uint8Array(4) : null; filled = 0;
  return true;
}
// What follows from the node columns and from the rows' cell counts is
// worked out as soon as they are in, while the later parts still come.
var D = {};
function arrived(c) {
  var i, v, t, s, a, n = head[1], m = head[2];
  if (c === 4) {
    var gaps = C[0], attrs = C[4];
    var parent = D.parent = new Int32Array(n), state = D.state = new Uint8Array(n);
    var change = D.change = head[5] & 1 ? new Uint8Array(n) : null;
    var titleText = D.titleText = new Int32Array(n), segmentText = D.segmentText = new Int32Array(n);
    var repeated = D.repeated = new Uint8Array(n);
    for (i = 0, t = head[12], s = head[13]; i < n; i++) {
      a = attrs[i];
      parent[i] = i - gaps[i];
      state[i] = a & 3;  // bits 2 and 3 hold the title's style, which the view does not show
      if (change) change[i] = (a >> 4) & 7;
      titleText[i] = a & 128 ? t++ : -1; segmentText[i] = a & 256 ? s++ : -1;
      repeated[i] = a & 512 ? 1 : 0;
    }
  } else if (c === 7) {
    var cellCount = C[7], cellAt = D.cellAt = new Int32Array(m + 1);
    for (i = 0, v = 0; i < m; i++) cellAt[i + 1] = v += cellCount[i] - 1;
  }
}
function finish() {
  if (!pieces || into) return;
  pieces.push(utf8.decode());
  var i, v, c = 0;
  D.head = head; D.n = head[1]; D.m = head[2]; D.text = pieces.join('');
  pieces = null;
  c++; D.typeText = C[c++]; D.first = C[c++]; D.count = C[c++]; c++;  // gaps and attrs: arrived()
  D.file = C[c++]; D.line = C[c++]; D.cellCount = C[c++];
  D.kind = C[c++]; D.style = C[c++]; D.rowText = C[c++]; D.cells = C[c++];
  D.snippet = { row: C[c++], first: C[c++], marked: C[c++], count: C[c++] };
  if (head[5] & 2) {
    var h = C[c++];
    D.history = { runs: h[0], words: h[1], strip: C[c++], mark: C[c++] };
  }
  var lengths = C[c++], texts = head[4], from = D.from = new Int32Array(texts + 1);
  for (i = 0, v = 0; i < texts; i++) from[i + 1] = v += lengths[i];
  C = null;
  soon(function () { view(D); });
}

function view(D) {
var head = D.head, n = D.n, m = D.m, TEXT = D.text, from = D.from, i, k;
var parent = D.parent, typeText = D.typeText, titleText = D.titleText, segmentText = D.segmentText;
var first = D.first, count = D.count, stateOf = D.state, CHANGE = D.change;
var fileOf = D.file, lineOf = D.line, cellCount = D.cellCount, cellAt = D.cellAt;
var kindOf = D.kind, styleOf = D.style, cells = D.cells;
var fileBase = head[6], nFiles = head[7], rowText = D.rowText, rowBase = head[14];
function text(t) { return TEXT.slice(from[t], from[t + 1]); }
// Cell c of row r: the first is the row's own text; twice a text, or twice a
// number and one.
function cell(r, c) {
  if (c === 0) return text(rowBase + rowText[r]);
  var v = cells[cellAt[r] + c - 1];
  return v & 1 ? String((v - 1) / 2) : text(v / 2);
}
// A row's file is its text and one (0: none); its line 1 + 2 * the number, or
// 2 + 2 * a text (0: none).
function line(r) { var v = lineOf[r]; return v === 0 ? '' : v & 1 ? String((v - 1) / 2) : text((v - 2) / 2); }
function typeName(i) { return text(typeText[i]); }
var CHANGE_WORD = [], CHANGE_KEY = [];
for (k = 0; k < head[9]; k++) { CHANGE_WORD.push(text(head[8] + k)); CHANGE_KEY.push(text(head[8] + head[9] + k)); }
// The source lines around a failed check, each with its number, the check's
// own line marked with '>': in its tooltip, and below it a line per item.
var SNIP_LINES = [], sn = D.snippet, lineText = head[16];
var SNIP_OF = sn.row.length ? new Int32Array(m).fill(-1) : null;  // by row: its snippet, or -1
for (k = 0; k < sn.row.length; k++) {
  var shown = [], width = String(sn.first[k] + sn.count[k] - 1).length;
  for (var q = 0; q < sn.count[k]; q++)
    shown.push((q === sn.marked[k] ? '> ' : '  ') + String(sn.first[k] + q).padStart(width) + ' | ' +
      text(lineText++));
  SNIP_OF[sn.row[k]] = k;
  SNIP_LINES.push(shown);
}

var H = 28, MAXH = 8000000, OVERSCAN = 8;
var CLS = ['ok', 'ko', 'ne'], MARK = ['\u2714', '\u2718', '\u2013'];
var WORD = ['Passed', 'Failed', 'Not executed'], STYLE = ['heading', 'plain', 'failed', 'passed'];
var depth = new Int32Array(n), state = new Uint8Array(n), end = new Int32Array(n);
for (i = 0; i < n; i++) {
  state[i] = Math.min(stateOf[i], 2);
  depth[i] = parent[i] < 0 ? 0 : depth[parent[i]] + 1;
}
// Sections are in pre-order, so every subtree is the range [i, end[i]).
var stack = [];
for (i = 0; i < n; i++) {
  while (stack.length && depth[stack[stack.length - 1]] >= depth[i]) end[stack.pop()] = i;
  stack.push(i);
}
while (stack.length) end[stack.pop()] = n;
function name(i) { return text(head[10] + i); }
function title(i) { return (titleText[i] >= 0 && text(titleText[i])) || (typeName(i) + ' ' + name(i)); }
function segment(i) { return (segmentText[i] >= 0 && text(segmentText[i])) || name(i); }
// The anchor is the path of names, so a link made today still finds its test
// in tomorrow's report; built when drawn rather than kept for every section.
// The section of a merged report is left out of the paths below it, so that
// a test's anchor does not depend on how the reports were named or ordered.
// A section that several reports hold is linked by its path in the first one,
// by its path, '@' and the report's name in the others ('@' is no segment's).
function isReport(i) { return parent[i] < 0 && typeName(i) === 'Report'; }
function anchor(i) {
  var a = segment(i);
  for (var p = parent[i]; p >= 0; p = parent[p]) {
    if (!isReport(p)) a = segment(p) + '/' + a;
    else if (D.repeated[i]) a += '@' + segment(p);
  }
  return a;
}
function find(a) {
  var last = a.slice(a.lastIndexOf('/') + 1).split('@')[0], j;
  for (j = 0; j < n; j++) if (segment(j) === last && anchor(j) === a) return j;
  for (j = 0; j < n; j++) if (text(head[11] + j) === a) return j;  // the TAG links of older pages
  return -1;
}

var vis = new Uint8Array(n).fill(1), open = new Uint8Array(n), navOpen = new Uint8Array(n);
var selfHit = new Uint8Array(n), rowsHit = new Uint8Array(n), rowHit = new Uint8Array(m);
var failedRows = null, failedOnly = false, filter = '', current = -1;
// Whether a section has a failed check, worked out the first time "failed
// only" asks, not while the page starts.
function hasFailedRow(j) {
  if (!failedRows) {
    failedRows = new Uint8Array(n);
    for (var s = 0; s < n; s++) {
      for (var r = first[s]; r < first[s] + count[s]; r++) if (kindOf[r] !== 0 && styleOf[r] === 2) { failedRows[s] = 1; break; }
    }
  }
  return failedRows[j];
}
if (m <= 50000) open.fill(1);
else for (i = 0; i < n; i++) if (state[i] === 1) open[i] = 1;
if (n <= 3000) navOpen.fill(1);
else for (i = 0; i < n; i++) if (depth[i] === 0) navOpen[i] = 1;

// The filter finds a section by its name or title, by the text of one of its
// checks or by the source file a check comes from.
function computeHits() {
  var re = new RegExp(filter.replace(/[.*+?^${}()|[\]\\]/g, '\\$&'), 'i');
  var fileHit = new Uint8Array(nFiles);
  for (var f = 0; f < nFiles; f++) fileHit[f] = re.test(text(fileBase + f)) ? 1 : 0;
  selfHit.fill(0); rowsHit.fill(0); rowHit.fill(0);
  for (var j = 0; j < n; j++) {
    if (re.test(name(j)) || re.test(title(j))) selfHit[j] = 1;
    for (var r = first[j], e = first[j] + count[j]; r < e; r++) {
      if (kindOf[r] !== 0 && ((fileOf[r] > 0 && fileHit[fileOf[r] - 1 - fileBase]) || re.test(cell(r, 0)))) { rowHit[r] = 1; rowsHit[j] = 1; }
    }
  }
}
// A section stays visible when it or one of its descendants matches.
function computeVisibility() {
  if (filter) computeHits();
  vis.fill(0);
  for (var j = n - 1; j >= 0; j--) {
    if (vis[j] || ((!failedOnly || state[j] === 1) && (!filter || selfHit[j] || rowsHit[j]))) {
      vis[j] = 1; if (parent[j] >= 0) vis[parent[j]] = 1;
    }
  }
}
// Which rows of a visible section the view lists: under a filter that matched
// only some of its checks, those checks and the table heads.
function rowShown(j, r) {
  if (failedOnly && (kindOf[r] === 0 ? !hasFailedRow(j) : styleOf[r] !== 2)) return false;
  if (!filter || selfHit[j]) return true;
  return rowsHit[j] && (kindOf[r] === 0 || rowHit[r]);
}

function VList(box, render) {
  this.box = box; this.render = render; this.n = 0; this.total = 0; this.h = 0;
  this.spacer = document.createElement('div'); this.spacer.className = 'spacer';
  box.appendChild(this.spacer);
  var self = this, pending = false;
  box.addEventListener('scroll', function () {
    if (pending) return;
    pending = true;
    requestAnimationFrame(function () { pending = false; self.draw(); });
  });
}
// Beyond MAXH pixels the scroll position is mapped onto the item range.
VList.prototype.offset = function (st, vh) {
  return this.total > this.h && this.h > vh ? st * (this.total - vh) / (this.h - vh) : st;
};
VList.prototype.setCount = function (count) {
  this.n = count; this.total = count * H; this.h = Math.min(this.total, MAXH);
  this.spacer.style.height = this.h + 'px';
  this.draw();
};
VList.prototype.draw = function () {
  var vh = this.box.clientHeight || 600, st = this.box.scrollTop, off = this.offset(st, vh);
  var from = Math.max(0, Math.floor(off / H) - OVERSCAN), to = Math.min(this.n, Math.ceil((off + vh) / H) + OVERSCAN);
  var frag = document.createDocumentFragment();
  for (var j = from; j < to; j++) {
    var el = this.render(j);
    el.style.top = (st + j * H - off) + 'px';
    frag.appendChild(el);
  }
  this.spacer.replaceChildren(frag);
};
VList.prototype.scrollTo = function (j, center) {
  var vh = this.box.clientHeight || 600, off = Math.max(0, j * H - (center ? vh / 2 : 0));
  off = Math.min(off, Math.max(0, this.total - vh));
  this.box.scrollTop = this.total > this.h && this.h > vh ? off * (this.h - vh) / (this.total - vh) : off;
  this.draw();
};
VList.prototype.inView = function (j) {
  var vh = this.box.clientHeight, off = this.offset(this.box.scrollTop, vh);
  return j * H >= off && (j + 1) * H <= off + vh;
};

function el(tag, cls, text) {
  var e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}
function mark(s) {
  var m = el('span', 'mark', MARK[s]); m.setAttribute('aria-hidden', 'true'); return m;
}

// The main list's items, in runs: a section (row -1), its rows r, r + 1, ...,
// or a source line below a failed check (row -2 - (8 * snippet + line)). Run x
// starts at item runAt[x], so an open section's rows take one run, not an
// item each, and the list is built in a step per section.
var runCap = n + m + 8 * SNIP_LINES.length;
var runAt = new Int32Array(runCap + 1), runSec = new Int32Array(runCap), runRow = new Int32Array(runCap);
var runs = 0, items = 0, navItems = [];
function addRun(j, r, length) {
  runAt[runs] = items; runSec[runs] = j; runRow[runs++] = r; items += length;
}
function buildMain() {
  runs = items = 0;
  var all = !failedOnly && !filter;
  for (var j = 0; j < n; j++) {
    if (!vis[j]) { j = end[j] - 1; continue; }
    addRun(j, -1, 1);
    if (!open[j] || !count[j]) continue;
    if (all && !SNIP_OF) { addRun(j, first[j], count[j]); continue; }
    for (var r = first[j], e = first[j] + count[j]; r < e; r++) {
      if (!all && !rowShown(j, r)) continue;
      var last = runs - 1;
      if (runRow[last] >= 0 && runRow[last] + items - runAt[last] === r) items++;
      else addRun(j, r, 1);
      var sk = SNIP_OF ? SNIP_OF[r] : -1;
      if (sk < 0) continue;
      for (var q = 0; q < SNIP_LINES[sk].length && q < 8; q++) addRun(j, -2 - (8 * sk + q), 1);
    }
  }
  runAt[runs] = items;
  mainList.setCount(items);
  var shown = 0;
  for (var j2 = 0; j2 < n; j2++) shown += vis[j2];
  shownBox.textContent = shown + ' of ' + n + ' sections shown';
  emptyBox.hidden = items > 0;
}
function buildNav() {
  navItems = [];
  for (var j = 0; j < n;) {
    if (!vis[j]) { j = end[j]; continue; }
    navItems.push(j);
    j = filter || navOpen[j] ? j + 1 : end[j];
  }
  navList.setCount(navItems.length);
}
function indent(e, d, base, step) { e.style.paddingLeft = (base + Math.min(d, narrow.matches ? 6 : 30) * step) + 'px'; }

function renderSection(j) {
  var e = el('div', 'item sec ' + CLS[state[j]] + (j === current ? ' current' : ''));
  var a = anchor(j);
  e.dataset.anchor = a;
  indent(e, depth[j], 4, 16);
  if (count[j] > 0) {
    var t = el('button', 'twisty', open[j] ? '\u25be' : '\u25b8');
    t.type = 'button'; t.setAttribute('aria-expanded', open[j] ? 'true' : 'false');
    t.setAttribute('aria-label', open[j] ? 'Hide checks' : 'Show checks');
    t.addEventListener('click', function () { open[j] ^= 1; keepScroll(buildMain); });
    e.appendChild(t);
  } else e.appendChild(el('span', 'twisty'));
  var badge = el('span', 'badge ' + CLS[state[j]]);
  badge.appendChild(mark(state[j])); badge.appendChild(document.createTextNode(WORD[state[j]]));
  e.appendChild(badge);
  if (CHANGE && CHANGE[j]) e.appendChild(el('span', 'change ' + CHANGE_KEY[CHANGE[j]], CHANGE_WORD[CHANGE[j]]));
  if (D.history) historyStrip(e, j);
  e.appendChild(el('span', 'title', title(j))); e.title = title(j);
  var here = el('a', 'here', '#'); here.href = '#' + a;
  here.setAttribute('aria-label', 'Link to this section');
  e.appendChild(here);
  return e;
}
// A test's outcomes in its last runs, oldest first, one mark a run, named as
// the plain part names its strips; then the history's words for the test.
var OUTCOME_WORD = ['passed', 'failed', 'not run', 'absent'], OUTCOME_MARK = ['\u2714', '\u2718', '\u2013', '\u00b7'];
var OUTCOME_OPEN = ['', '<b>', '<i>', '<i>'], OUTCOME_CLOSE = ['', '</b>', '</i>', '</i>'];
function historyStrip(e, j) {
  var h = D.history, code = h.strip[j] - 1, html = '', name = [], r = 0, o, same;
  if (code < 0) return;
  while (r < h.runs) {
    o = (code >> 2 * r) & 3;
    for (same = 1; r + same < h.runs && ((code >> 2 * (r + same)) & 3) === o; same++);
    html += OUTCOME_OPEN[o] + OUTCOME_MARK[o].repeat(same) + OUTCOME_CLOSE[o];
    name.push(OUTCOME_WORD[o] + (same > 1 ? ' ' + same + ' times' : ''));
    r += same;
  }
  var s = el('span', 'strip');
  s.innerHTML = html;
  s.setAttribute('role', 'img');
  s.setAttribute('aria-label', 'last ' + h.runs + (h.runs === 1 ? ' run: ' : ' runs, oldest first: ') + name.join(', '));
  e.appendChild(s);
  if (h.mark[j]) e.appendChild(el('span', 'hw', text(h.words + h.mark[j] - 1)));
}
// The location sits beside the expression and never shrinks to nothing: the
// file goes by its base name (the whole path is in the tooltip), a long
// expression is cut, a long file name is cut before its line number.
function location_(r) {
  var loc = el('span', 'loc');
  var f = text(fileOf[r] - 1);
  loc.appendChild(el('span', 'file', f.slice(f.lastIndexOf('/') + 1)));
  if (line(r) !== '') loc.appendChild(document.createTextNode(':' + line(r)));
  return loc;
}
function renderRow(j, r) {
  var kind = kindOf[r], st = styleOf[r], nc = cellCount[r];
  var e = el('div', 'item row ' + (kind === 2 ? 'print ' : '') + STYLE[st]);
  indent(e, depth[j], 26, 16);
  for (var c = 0; c < nc; c++) {
    var t = cell(r, c), span = el('span');
    if (c === 0) {
      span.className = 'c0';
      if (kind === 2) span.appendChild(el('span', 'mark', '\u25b8'));
      span.appendChild(el('span', 'expr', t));
      if (fileOf[r] > 0) {
        span.appendChild(location_(r));
        span.title = t + ' \u2014 ' + text(fileOf[r] - 1) + (line(r) !== '' ? ':' + line(r) : '');
        if (SNIP_OF && SNIP_OF[r] >= 0) span.title += '\n\n' + SNIP_LINES[SNIP_OF[r]].join('\n');
      } else span.title = t;
    } else if (c === 1 && kind === 1 && (st === 2 || st === 3)) {
      span.appendChild(mark(st === 3 ? 0 : 1));
      span.appendChild(document.createTextNode(t));
    } else span.textContent = t;
    e.appendChild(span);
  }
  return e;
}
function renderSourceLine(j, code) {
  var sk = code >> 3, q = code & 7, e = el('div', 'item src' + (q === sn.marked[sk] ? ' at' : ''));
  indent(e, depth[j], 42, 16);
  e.appendChild(el('code', null, SNIP_LINES[sk][q]));
  return e;
}
function renderMain(k) {
  var lo = 0, hi = runs - 1, mid;
  while (lo < hi) if (runAt[mid = (lo + hi + 1) >> 1] <= k) lo = mid; else hi = mid - 1;
  var j = runSec[lo], r = runRow[lo];
  return r >= 0 ? renderRow(j, r + k - runAt[lo]) : r === -1 ? renderSection(j) : renderSourceLine(j, -2 - r);
}
function renderNav(k) {
  var j = navItems[k], e = el('div', 'item nav ' + CLS[state[j]] + (j === current ? ' current' : ''));
  indent(e, depth[j], 2, 14);
  if (end[j] > j + 1 && !filter) {
    var t = el('button', 'twisty', navOpen[j] ? '\u25be' : '\u25b8');
    t.type = 'button'; t.setAttribute('aria-expanded', navOpen[j] ? 'true' : 'false');
    t.setAttribute('aria-label', (navOpen[j] ? 'Collapse ' : 'Expand ') + name(j));
    t.addEventListener('click', function () { navOpen[j] ^= 1; keepScrollNav(buildNav); });
    e.appendChild(t);
  } else e.appendChild(el('span', 'twisty'));
  var a = el('a');
  a.href = '#' + anchor(j);
  a.appendChild(mark(state[j]));
  a.appendChild(document.createTextNode(name(j) || title(j)));
  a.title = typeName(j) + ' ' + name(j) + ' \u2014 ' + WORD[state[j]] +
    (CHANGE && CHANGE[j] ? ' (' + CHANGE_WORD[CHANGE[j]] + ')' : '');
  a.addEventListener('click', function (ev) {
    ev.preventDefault();
    current = j;
    writeUrl(true);
    goTo(j);
  });
  e.appendChild(a);
  return e;
}

var mainBox = document.getElementById('main'), navBox = document.getElementById('nav');
var shownBox = document.getElementById('shown');
var emptyBox = el('p', 'empty', 'No section to show.');
mainBox.appendChild(emptyBox);
// Narrow screens give every item two lines, so rows wrap instead of running off.
var narrow = window.matchMedia('(max-width: 640px)');
H = narrow.matches ? 48 : 28;
var mainList = new VList(mainBox, renderMain), navList = new VList(navBox, renderNav);
function keepScroll(f) { var st = mainBox.scrollTop; f(); mainBox.scrollTop = st; mainList.draw(); }
function keepScrollNav(f) { var st = navBox.scrollTop; f(); navBox.scrollTop = st; navList.draw(); }
narrow.addEventListener('change', function () {
  H = narrow.matches ? 48 : 28; mainList.setCount(mainList.n); navList.setCount(navList.n);
});

var failedBox = document.getElementById('failed-only'), filterBox = document.getElementById('filter');
function refresh() { computeVisibility(); buildMain(); buildNav(); }
failedBox.addEventListener('change', function () { failedOnly = failedBox.checked; refresh(); writeUrl(false); });
var timer = 0;
filterBox.addEventListener('input', function () {
  clearTimeout(timer);
  timer = setTimeout(function () {
    var f = filterBox.value.trim();
    if (f === filter) return;
    filter = f; refresh(); writeUrl(false);
  }, 120);
});
document.getElementById('expand-all').addEventListener('click', function () {
  open.fill(1); navOpen.fill(1); buildMain(); buildNav();
});
document.getElementById('collapse-all').addEventListener('click', function () {
  open.fill(0); navOpen.fill(0); buildMain(); buildNav();
});

function goTo(j) {
  if (!vis[j]) {
    failedOnly = false; failedBox.checked = false; filter = ''; filterBox.value = '';
    computeVisibility(); writeUrl(false);
  }
  if (count[j] > 0) open[j] = 1;
  for (var p = parent[j]; p >= 0; p = parent[p]) navOpen[p] = 1;
  current = j;
  buildMain(); buildNav();
  document.getElementById('panes').scrollIntoView({block: 'start'});
  var x = runSec.subarray(0, runs).indexOf(j);
  if (x >= 0) mainList.scrollTo(runAt[x], false);
  var m = navItems.indexOf(j);
  if (m >= 0 && !navList.inView(m)) navList.scrollTo(m, true); else navList.draw();
}

// The URL's hash holds the section, then after '?' the view: "failed" and
// "q=<filter>" (anchors never hold '?'); a hash works for a file as for a server.
var handled = null;
function writeUrl(push) {
  var view = [];
  if (failedOnly) view.push('failed');
  if (filter) view.push('q=' + encodeURIComponent(filter));
  var h = (current >= 0 ? anchor(current) : '') + (view.length ? '?' + view.join('&') : '');
  var url = location.href.split('#')[0] + (h ? '#' + h : '');
  handled = h ? '#' + h : '';
  if (url === location.href) return;
  if (push) history.pushState(null, '', url); else history.replaceState(null, '', url);
}
function fromHash() {
  if (location.hash === handled) return;
  handled = location.hash;
  var h = location.hash.slice(1), q = h.indexOf('?'), a = q < 0 ? h : h.slice(0, q);
  var fo = false, f = '';
  (q < 0 ? '' : h.slice(q + 1)).split('&').forEach(function (part) {
    if (part === 'failed') fo = true;
    else if (part.slice(0, 2) === 'q=') { try { f = decodeURIComponent(part.slice(2)).trim(); } catch (err) { f = ''; } }
  });
  // A plain link to a section keeps the view as it is.
  if (q >= 0 || !a) {
    if (fo !== failedOnly || f !== filter) {
      failedOnly = fo; failedBox.checked = fo; filter = f; filterBox.value = f; refresh();
    }
  }
  var j = a ? find(a) : -1;
  if (j < 0) { try { j = find(decodeURIComponent(a)); } catch (err) { j = -1; } }
  if (j >= 0) goTo(j);
  if (q < 0 && a && (failedOnly || filter)) writeUrl(false);
}
window.addEventListener('hashchange', fromHash);
window.addEventListener('popstate', fromHash);
window.addEventListener('resize', function () { mainList.draw(); navList.draw(); });

// Paper gets every row of the view, every section opened. Past PRINT_MAX rows
// it gets the failed tests with their failed checks, and says what it left
// out and how to print the rest.
var PRINT_MAX = 20000, printAll = false, printBox = document.getElementById('print-list');
function collect(onlyFailed, limit, out) {
  var total = 0;
  for (var j = 0; j < n; j++) {
    if (!vis[j] || (onlyFailed && state[j] !== 1)) { j = end[j] - 1; continue; }
    if (total++ < limit) out.push(j, -1);
    for (var r = first[j], e = first[j] + count[j]; r < e; r++) {
      if (!rowShown(j, r) || (onlyFailed && (kindOf[r] === 0 ? !hasFailedRow(j) : styleOf[r] !== 2))) continue;
      if (total++ < limit) out.push(j, r);
    }
  }
  return total;
}
function num(x) { return x.toLocaleString('en'); }
function beforePrint() {
  var items = [], all = collect(false, printAll ? Infinity : PRINT_MAX, items), note;
  if (all > items.length / 2) {
    items = [];
    var failed = collect(true, PRINT_MAX, items), kept = items.length / 2;
    note = 'This print holds ' + num(kept) + ' of the ' + num(all) + ' rows of the view: ' +
      (failed > kept ? 'the first ' + num(kept) + ' rows of ' : '') + 'the failed tests with their failed checks. ' +
      num(all - kept) + ' rows are left out. To print every row, press \u201cPrint all\u201d at the top of the page ' +
      '(slow for a report this long), or narrow the view with the filter to at most ' + num(PRINT_MAX) + ' rows.';
  } else note = 'This print holds all ' + num(all) + ' rows of the view.';
  if (failedOnly || filter) {
    note += ' The view shows ' + (failedOnly ? 'failed tests only' : 'only') +
      (filter ? ' matching \u201c' + filter + '\u201d' : '') + ': clear the filter and \u201cFailed only\u201d to print the whole report.';
  }
  var frag = document.createDocumentFragment();
  frag.appendChild(el('p', 'print-note', note));
  for (var x = 0; x < items.length; x += 2) {
    frag.appendChild(items[x + 1] < 0 ? renderSection(items[x]) : renderRow(items[x], items[x + 1]));
  }
  printBox.replaceChildren(frag);
  printBox.hidden = false;
  document.body.classList.add('printing');
}
window.addEventListener('beforeprint', beforePrint);
window.addEventListener('afterprint', function () {
  printAll = false; printBox.replaceChildren(); printBox.hidden = true;
  document.body.classList.remove('printing');
});
document.getElementById('print-all').addEventListener('click', function () { printAll = true; window.print(); });

note.remove();
document.getElementById('static').removeAttribute('role');
document.getElementById('toolbar').hidden = false;
document.getElementById('panes').hidden = false;
// The first drawing in tasks of its own, the sections, then the tree, so
// that no task grows long.
soon(function () {
  computeVisibility(); buildMain();
  soon(function () {
    buildNav();
    if (location.hash) fromHash();
    else handled = '';
    anchorOf = anchor; linkMore();
    document.body.dataset.ready = 'true';
  });
});
}
})();
