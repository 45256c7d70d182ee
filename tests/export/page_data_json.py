#!/usr/bin/env python3
"""Prints the data of a tallyrep-export page in the JSON layout pages held it
in before it was compressed (a page in that layout prints its block as is).

  page_data_json.py PAGE.html

The compressed layout is described in src/export/write/page_data.h."""
import base64
import re
import struct
import sys
import zlib

MAGIC = 0x34445258  # columns of fixed-width numbers
MAGIC_VARINTS = 0x33445258  # every number a varint
MAGIC_BEFORE_SNIPPETS = 0x32445258  # varints, its head two numbers shorter

ESCAPES = {'"': '\\"', '\\': '\\\\', '<': '\\u003c', '\t': '\\t', '\n': '\\n', '\r': '\\r'}


def esc(text):
    """The exporter's JSON escape of a text that is valid UTF-8 already."""
    return '"' + ''.join(ESCAPES.get(ch, ch) for ch in text) + '"'


def varint_columns(raw):
    """The head and the columns of the layouts before XRD4, and where the texts start."""
    at = 0

    def column(count):
        nonlocal at
        values = []
        for _ in range(count):
            v, shift = 0, 0
            while True:
                x = raw[at]
                at += 1
                v |= (x & 127) << shift
                shift += 7
                if not x & 128:
                    break
            values.append(v)
        return values

    head = column(15)
    head += column(2) if head[0] == MAGIC_VARINTS else [0, 0]
    if head[0] not in (MAGIC_VARINTS, MAGIC_BEFORE_SNIPPETS):
        sys.exit('page_data_json: not a page of this layout')
    n, m = head[1], head[2]
    gap, typ, first, count, attrs = (column(n) for _ in range(5))
    row, firsts = 0, []
    for f in first:
        row += -(f + 1) // 2 if f & 1 else f // 2
        firsts.append(row)
    files, lines, cell_count, kind_style, row_text = (column(m) for _ in range(5))
    kinds = [k >> 2 for k in kind_style]
    styles = [k & 3 for k in kind_style]
    cells = column(head[3])
    column(4 * head[15])  # the snippets, which the older layout did not hold
    if head[5] & 2:
        column(2 + 2 * head[1])  # the history's strips and words, nor these
    lengths = column(head[4])
    return (head, (gap, typ, firsts, count, attrs), (files, lines, cell_count, kinds, styles, row_text),
            cells, lengths, at)


def fixed_columns(raw):
    """The head and the columns of XRD4, and where the texts start."""
    at = 0

    def words(count):
        nonlocal at
        values = list(struct.unpack_from('<%dI' % count, raw, at))
        at += 4 * count
        return values

    def column(count):
        nonlocal at
        width = words(1)[0]
        values = list(struct.unpack_from('<%d%s' % (count, {1: 'B', 2: 'H', 4: 'I'}[width]), raw, at))
        at += (count * width + 3) & ~3
        return values

    head = words(17)
    n, m = head[1], head[2]
    nodes = tuple(column(n) for _ in range(5))
    rows = tuple(column(m) for _ in range(6))
    cells = column(head[3])
    for _ in range(4):
        column(head[15])  # the snippets, which the older layout did not hold
    if head[5] & 2:
        for count in (2, n, n):
            column(count)  # the history's strips and words, nor these
    lengths = column(head[4])
    return head, nodes, rows, cells, lengths, at


def decode(b64):
    raw = zlib.decompress(base64.b64decode(b64))
    fixed = len(raw) >= 4 and struct.unpack_from('<I', raw)[0] == MAGIC
    head, nodes, rows, cells, lengths, at = (fixed_columns if fixed else varint_columns)(raw)
    n, m = head[1], head[2]
    gap, typ, first, count, attrs = nodes
    files, lines, cell_count, kinds, styles, row_text = rows
    blob = raw[at:].decode('utf-8')
    texts, pos = [], 0
    # Lengths count UTF-16 units: a character past U+FFFF counts two.
    for length in lengths:
        end, u = pos, 0
        while u < length:
            u += 2 if ord(blob[end]) > 0xFFFF else 1
            end += 1
        texts.append(blob[pos:end])
        pos = end

    seen_types, seen_files = {}, {}

    def number(seen, key):
        return seen.setdefault(key, len(seen))

    s_items, title, segment = [], head[12], head[13]
    for i in range(n):
        a = attrs[i]
        row = first[i]
        name = texts[head[10] + i]
        if a & 128:
            t, title = texts[title], title + 1
        else:
            t = texts[typ[i]] + ' ' + name
        if a & 256:
            seg, segment = texts[segment], segment + 1
        else:
            seg = ''
        s_items.append(','.join([str(i - gap[i]), str(number(seen_types, typ[i])), str(a & 3),
                                 str((a >> 2) & 3), esc(name), esc(t), esc(seg), str(row),
                                 str(count[i]), esc(texts[head[11] + i])]) + '\n')
    r_items, c = [], 0
    for r in range(m):
        v = lines[r]
        line = '' if v == 0 else str((v - 1) // 2) if v & 1 else texts[(v - 2) // 2]
        parts = [str(kinds[r]), str(styles[r]),
                 str(number(seen_files, files[r] - 1)) if files[r] else '-1', esc(line),
                 str(cell_count[r]), esc(texts[head[14] + row_text[r]])]
        for _ in range(cell_count[r] - 1):
            v = cells[c]
            parts.append(esc(str((v - 1) // 2) if v & 1 else texts[v // 2]))
            c += 1
        r_items.append(','.join(parts) + '\n')
    out = '{"s":[' + ','.join(s_items) + '],\n"r":[' + ','.join(r_items) + ']'
    out += ',\n"types":[' + ','.join(esc(texts[t]) for t in seen_types) + ']'
    out += ',\n"files":[' + ','.join(esc(texts[f]) for f in seen_files) + ']'
    if head[5] & 1:
        kinds, words = head[9], head[8]
        out += ',\n"c":[' + ','.join(str((a >> 4) & 7) for a in attrs) + ']'
        out += ',\n"cw":[' + ','.join(esc(texts[words + k]) for k in range(kinds)) + ']'
        out += ',\n"ck":[' + ','.join(esc(texts[words + kinds + k]) for k in range(kinds)) + ']'
    return out + '}'


def main():
    page = open(sys.argv[1], encoding='utf-8').read()
    old = re.search(r'<script type="application/json" id="xrd-data">(.*?)</script>', page, re.S)
    if old:
        sys.stdout.write(old.group(1))
        return
    parts = re.findall(r'<script type="application/octet-stream" class="xrd-data">([^<]*)</script>',
                       page)
    if not parts:
        sys.exit('page_data_json: no data block')
    sys.stdout.write(decode(''.join(parts)))


if __name__ == '__main__':
    main()
