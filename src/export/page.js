(function () {
'use strict';
var D = JSON.parse(document.getElementById('xrd-data').textContent);
var S = D.s, R = D.r, TYPES = D.types, FILES = D.files, F = 9, n = S.length / F;
var H = 28, MAXH = 8000000, OVERSCAN = 8;
var CLS = ['ok', 'ko', 'ne'], MARK = ['\u2714', '\u2718', '\u2013'];
var WORD = ['Passed', 'Failed', 'Not executed'], STYLE = ['heading', 'plain', 'failed', 'passed'];
var parent = new Int32Array(n), depth = new Int32Array(n), state = new Uint8Array(n);
var first = new Int32Array(n), count = new Int32Array(n), end = new Int32Array(n);
var anchors = new Map(), i, k;
for (i = 0; i < n; i++) {
  var b = i * F;
  parent[i] = S[b]; state[i] = Math.min(S[b + 2], 2); first[i] = S[b + 7]; count[i] = S[b + 8];
  depth[i] = parent[i] < 0 ? 0 : depth[parent[i]] + 1;
  if (!anchors.has(S[b + 6])) anchors.set(S[b + 6], i);
}
// Sections are in pre-order, so every subtree is the range [i, end[i]).
var stack = [];
for (i = 0; i < n; i++) {
  while (stack.length && depth[stack[stack.length - 1]] >= depth[i]) end[stack.pop()] = i;
  stack.push(i);
}
while (stack.length) end[stack.pop()] = n;
var rowAt = [];
for (k = 0; k < R.length; k += 5 + R[k + 4]) rowAt.push(k);
function name(i) { return S[i * F + 4]; }
function title(i) { return S[i * F + 5] || (TYPES[S[i * F + 1]] + ' ' + name(i)); }
function anchor(i) { return S[i * F + 6]; }

var vis = new Uint8Array(n).fill(1), open = new Uint8Array(n), navOpen = new Uint8Array(n);
var failedOnly = false, filter = '', current = -1, lower = null;
if (rowAt.length <= 50000) open.fill(1);
else for (i = 0; i < n; i++) if (state[i] === 1) open[i] = 1;
if (n <= 3000) navOpen.fill(1);
else for (i = 0; i < n; i++) if (depth[i] === 0) navOpen[i] = 1;

function matches(i) {
  if (failedOnly && state[i] !== 1) return false;
  return !filter || lower[i].indexOf(filter) >= 0;
}
// A section stays visible when it or one of its descendants matches.
function computeVisibility() {
  if (filter && !lower) {
    lower = new Array(n);
    for (var j = 0; j < n; j++) lower[j] = (name(j) || title(j)).toLowerCase();
  }
  vis.fill(0);
  for (var j = n - 1; j >= 0; j--) {
    if (vis[j] || matches(j)) { vis[j] = 1; if (parent[j] >= 0) vis[parent[j]] = 1; }
  }
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
VList.prototype.drawAll = function () {
  var frag = document.createDocumentFragment();
  for (var j = 0; j < this.n; j++) frag.appendChild(this.render(j));
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
      var p = rowAt[r];
      if (failedOnly && R[p] !== 0 && R[p + 1] !== 2) continue;
      itemSec.push(j); itemRow.push(r);
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
function indent(e, d, base, step) { e.style.paddingLeft = (base + Math.min(d, 30) * step) + 'px'; }

function renderSection(j) {
  var e = el('div', 'item sec ' + CLS[state[j]] + (j === current ? ' current' : ''));
  e.id = anchor(j); e.dataset.anchor = anchor(j);
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
  var tt = el('span', 'title', title(j)); e.title = title(j);
  e.appendChild(tt);
  var a = el('a', 'here', '#'); a.href = '#' + encodeURIComponent(anchor(j));
  a.setAttribute('aria-label', 'Link to this section');
  e.appendChild(a);
  return e;
}
function renderRow(j, r) {
  var p = rowAt[r], kind = R[p], st = R[p + 1], nc = R[p + 4];
  var e = el('div', 'item row ' + (kind === 2 ? 'print ' : '') + STYLE[st]);
  indent(e, depth[j], 26, 16);
  for (var c = 0; c < nc; c++) {
    var text = R[p + 5 + c], cell = el('span');
    if (c === 0) {
      if (kind === 2) cell.appendChild(el('span', 'mark', '\u25b8'));
      cell.appendChild(document.createTextNode(text));
      if (R[p + 2] >= 0) {
        var src = FILES[R[p + 2]] + (R[p + 3] !== '' ? ' line ' + R[p + 3] : '');
        cell.appendChild(el('span', 'src', src));
        cell.title = text + ' \u2014 ' + src;
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
  a.href = '#' + encodeURIComponent(anchor(j));
  a.appendChild(mark(state[j]));
  a.appendChild(document.createTextNode(name(j) || title(j)));
  a.title = TYPES[S[j * F + 1]] + ' ' + name(j) + ' \u2014 ' + WORD[state[j]];
  a.addEventListener('click', function (ev) {
    ev.preventDefault();
    history.pushState(null, '', '#' + encodeURIComponent(anchor(j)));
    goTo(j);
  });
  e.appendChild(a);
  return e;
}

var mainBox = document.getElementById('main'), navBox = document.getElementById('nav');
var shownBox = document.getElementById('shown');
var emptyBox = el('p', 'empty', 'No section to show.');
mainBox.appendChild(emptyBox);
var mainList = new VList(mainBox, renderMain), navList = new VList(navBox, renderNav);
function keepScroll(f) { var st = mainBox.scrollTop; f(); mainBox.scrollTop = st; mainList.draw(); }
function keepScrollNav(f) { var st = navBox.scrollTop; f(); navBox.scrollTop = st; navList.draw(); }

var failedBox = document.getElementById('failed-only'), filterBox = document.getElementById('filter');
function refresh() { computeVisibility(); buildMain(); buildNav(); }
failedBox.addEventListener('change', function () { failedOnly = failedBox.checked; refresh(); });
var timer = 0;
filterBox.addEventListener('input', function () {
  clearTimeout(timer);
  timer = setTimeout(function () { filter = filterBox.value.trim().toLowerCase(); refresh(); }, 120);
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
    computeVisibility();
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
function fromHash() {
  var a = '';
  try { a = decodeURIComponent(location.hash.slice(1)); } catch (err) { return; }
  if (anchors.has(a)) goTo(anchors.get(a));
}
window.addEventListener('hashchange', fromHash);
window.addEventListener('popstate', fromHash);
window.addEventListener('resize', function () { mainList.draw(); navList.draw(); });
// Printing shows every item in view order when the list is of a printable size.
window.addEventListener('beforeprint', function () { if (mainList.n <= 20000) mainList.drawAll(); });
window.addEventListener('afterprint', function () { mainList.draw(); });

buildMain(); buildNav();
if (location.hash) fromHash();
document.body.dataset.ready = 'true';
})();
