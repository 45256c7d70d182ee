// The page's interactive view: a virtual list of every section and check, the
// test tree, "failed only", the filter, anchors and view state in the URL,
// and each test's change since a baseline when the page compares with one.
(function () {
'use strict';
// The view shows the sections: the browser's own jump to an anchor would land
// on the written-out list instead, and a test named like one of the page's
// controls would stand in its way, so the list's entries give their ids up.
document.querySelectorAll('.failed-list > li[id]').forEach(function (li) {
  li.dataset.anchor = li.id; li.removeAttribute('id');
});
var D = JSON.parse(document.getElementById('xrd-data').textContent);
var S = D.s, R = D.r, TYPES = D.types, FILES = D.files, F = 10, n = S.length / F;
var CHANGE = D.c || null, CHANGE_WORD = D.cw || [], CHANGE_KEY = D.ck || [];
var H = 28, MAXH = 8000000, OVERSCAN = 8;
var CLS = ['ok', 'ko', 'ne'], MARK = ['\u2714', '\u2718', '\u2013'];
var WORD = ['Passed', 'Failed', 'Not executed'], STYLE = ['heading', 'plain', 'failed', 'passed'];
var parent = new Int32Array(n), depth = new Int32Array(n), state = new Uint8Array(n);
var first = new Int32Array(n), count = new Int32Array(n), end = new Int32Array(n), i, k;
for (i = 0; i < n; i++) {
  var b = i * F;
  parent[i] = S[b]; state[i] = Math.min(S[b + 2], 2); first[i] = S[b + 7]; count[i] = S[b + 8];
  depth[i] = parent[i] < 0 ? 0 : depth[parent[i]] + 1;
}
// Sections are in pre-order, so every subtree is the range [i, end[i]).
var stack = [];
for (i = 0; i < n; i++) {
  while (stack.length && depth[stack[stack.length - 1]] >= depth[i]) end[stack.pop()] = i;
  stack.push(i);
}
while (stack.length) end[stack.pop()] = n;
for (i = 0, k = 0; k < R.length; k += 5 + R[k + 4]) i++;
var rowAt = new Int32Array(i);
for (i = 0, k = 0; k < R.length; k += 5 + R[k + 4]) rowAt[i++] = k;
function name(i) { return S[i * F + 4]; }
function title(i) { return S[i * F + 5] || (TYPES[S[i * F + 1]] + ' ' + name(i)); }
function segment(i) { return S[i * F + 6] || S[i * F + 4]; }
// The anchor is the path of names, so a link made today still finds its test
// in tomorrow's report; built when drawn rather than kept for every section.
function anchor(i) {
  var a = segment(i);
  for (var p = parent[i]; p >= 0; p = parent[p]) a = segment(p) + '/' + a;
  return a;
}
function find(a) {
  var last = a.slice(a.lastIndexOf('/') + 1), j;
  for (j = 0; j < n; j++) if (segment(j) === last && anchor(j) === a) return j;
  for (j = 0; j < n; j++) if (S[j * F + 9] === a) return j;  // the TAG links of older pages
  return -1;
}

var vis = new Uint8Array(n).fill(1), open = new Uint8Array(n), navOpen = new Uint8Array(n);
var selfHit = new Uint8Array(n), rowsHit = new Uint8Array(n), rowHit = new Uint8Array(rowAt.length);
var failedRows = new Uint8Array(n), failedOnly = false, filter = '', current = -1;
for (i = 0; i < n; i++) {
  for (k = first[i]; k < first[i] + count[i]; k++) if (R[rowAt[k]] !== 0 && R[rowAt[k] + 1] === 2) { failedRows[i] = 1; break; }
}
if (rowAt.length <= 50000) open.fill(1);
else for (i = 0; i < n; i++) if (state[i] === 1) open[i] = 1;
if (n <= 3000) navOpen.fill(1);
else for (i = 0; i < n; i++) if (depth[i] === 0) navOpen[i] = 1;

// The filter finds a section by its name or title, by the text of one of its
// checks or by the source file a check comes from.
function computeHits() {
  var re = new RegExp(filter.replace(/[.*+?^${}()|[\]\\]/g, '\\$&'), 'i');
  var fileHit = FILES.map(function (f) { return re.test(f); });
  selfHit.fill(0); rowsHit.fill(0); rowHit.fill(0);
  for (var j = 0; j < n; j++) {
    if (re.test(name(j)) || re.test(title(j))) selfHit[j] = 1;
    for (var r = first[j], e = first[j] + count[j]; r < e; r++) {
      var p = rowAt[r];
      if (R[p] !== 0 && ((R[p + 2] >= 0 && fileHit[R[p + 2]]) || re.test(R[p + 5]))) { rowHit[r] = 1; rowsHit[j] = 1; }
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
  var p = rowAt[r];
  if (failedOnly && (R[p] === 0 ? !failedRows[j] : R[p + 1] !== 2)) return false;
  if (!filter || selfHit[j]) return true;
  return rowsHit[j] && (R[p] === 0 || rowHit[r]);
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

var itemSec = [], itemRow = [], navItems = [];
function buildMain() {
  itemSec = []; itemRow = [];
  for (var j = 0; j < n; j++) {
    if (!vis[j]) { j = end[j] - 1; continue; }
    itemSec.push(j); itemRow.push(-1);
    if (!open[j]) continue;
    for (var r = first[j], e = first[j] + count[j]; r < e; r++) {
      if (rowShown(j, r)) { itemSec.push(j); itemRow.push(r); }
    }
  }
  mainList.setCount(itemSec.length);
  var shown = 0;
  for (var j2 = 0; j2 < n; j2++) shown += vis[j2];
  shownBox.textContent = shown + ' of ' + n + ' sections shown';
  emptyBox.hidden = itemSec.length > 0;
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
  e.appendChild(el('span', 'title', title(j))); e.title = title(j);
  var here = el('a', 'here', '#'); here.href = '#' + a;
  here.setAttribute('aria-label', 'Link to this section');
  e.appendChild(here);
  return e;
}
// The location sits beside the expression and never shrinks to nothing: the
// file goes by its base name (the whole path is in the tooltip), a long
// expression is cut, a long file name is cut before its line number.
function location_(p) {
  var loc = el('span', 'loc');
  var f = FILES[R[p + 2]];
  loc.appendChild(el('span', 'file', f.slice(f.lastIndexOf('/') + 1)));
  if (R[p + 3] !== '') loc.appendChild(document.createTextNode(':' + R[p + 3]));
  return loc;
}
function renderRow(j, r) {
  var p = rowAt[r], kind = R[p], st = R[p + 1], nc = R[p + 4];
  var e = el('div', 'item row ' + (kind === 2 ? 'print ' : '') + STYLE[st]);
  indent(e, depth[j], 26, 16);
  for (var c = 0; c < nc; c++) {
    var text = R[p + 5 + c], cell = el('span');
    if (c === 0) {
      cell.className = 'c0';
      if (kind === 2) cell.appendChild(el('span', 'mark', '\u25b8'));
      cell.appendChild(el('span', 'expr', text));
      if (R[p + 2] >= 0) {
        cell.appendChild(location_(p));
        cell.title = text + ' \u2014 ' + FILES[R[p + 2]] + (R[p + 3] !== '' ? ':' + R[p + 3] : '');
      } else cell.title = text;
    } else if (c === 1 && kind === 1 && (st === 2 || st === 3)) {
      cell.appendChild(mark(st === 3 ? 0 : 1));
      cell.appendChild(document.createTextNode(text));
    } else cell.textContent = text;
    e.appendChild(cell);
  }
  return e;
}
function renderMain(k) {
  return itemRow[k] < 0 ? renderSection(itemSec[k]) : renderRow(itemSec[k], itemRow[k]);
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
  a.title = TYPES[S[j * F + 1]] + ' ' + name(j) + ' \u2014 ' + WORD[state[j]] +
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
  var k = itemSec.indexOf(j);
  if (k >= 0) mainList.scrollTo(k, false);
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
      var p = rowAt[r];
      if (!rowShown(j, r) || (onlyFailed && (R[p] === 0 ? !failedRows[j] : R[p + 1] !== 2))) continue;
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

document.getElementById('script-note').remove();
document.getElementById('static').removeAttribute('role');
document.getElementById('toolbar').hidden = false;
document.getElementById('panes').hidden = false;
computeVisibility(); buildMain(); buildNav();
if (location.hash) fromHash();
else handled = '';
document.body.dataset.ready = 'true';
})();
