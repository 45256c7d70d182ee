#!/usr/bin/env python3
"""Checks that every package a test's lock file pins accepts the oldest Node.js
its package.json claims (engines.node: ">=18", Debian 12's nodejs, for the
browser test), so a newer Node.js on a developer's machine cannot hide a
package that refuses it. With --running, checks instead that the Node.js on
PATH is one package.json claims (the Makefile installs a folder's packages only
then). Reads the ranges npm packages use: comparators joined by spaces (a blank
may follow the operator), alternatives by ||, x-ranges ("6.*", "10.x").
usage: lock_engines.py [--running] [FOLDER]   (the folder of package.json; default: this one's)
"""
import json
import os
import re
import subprocess
import sys

args = sys.argv[1:]
running = "--running" in args
args = [a for a in args if a != "--running"]
folder = args[0] if args else os.path.dirname(os.path.abspath(__file__))


def version(text):
    parts = [int(p) if p.isdigit() else 0 for p in text.split(".")[:3]]
    return tuple(parts + [0] * (3 - len(parts)))


def admits(comparator, v):
    m = re.fullmatch(r"(>=|<=|>|<|=|\^|~)?v?(\d+(?:\.(?:\d+|x|\*))*)", comparator)
    if not m:
        raise ValueError(f"unread comparator {comparator!r}")
    op, want = m.group(1) or "=", version(m.group(2))
    given = len(re.match(r"\d+(?:\.\d+)*", m.group(2)).group(0).split("."))
    if op == "=" and given < 3:  # an x-range: the parts given
        return v[:given] == want[:given]
    if op == "^":  # same leftmost non-zero part, not below
        cut = next((i for i, p in enumerate(want) if p), 2) + 1
        return v >= want and v[:cut] == want[:cut]
    if op == "~":
        return v >= want and v[:2] == want[:2]
    return {">=": v >= want, "<=": v <= want, ">": v > want, "<": v < want, "=": v == want}[op]


def satisfies(rng, v):
    if rng.strip() in ("", "*"):
        return True
    return any(all(admits(c, v) for c in re.sub(r"([<>=^~]+)\s+", r"\1", alt).split())
               for alt in rng.split("||"))


def running_node(claimed):
    try:
        out = subprocess.run(["node", "--version"], capture_output=True, text=True).stdout.strip()
    except OSError:
        out = ""
    ok = bool(out) and satisfies(claimed, version(out.lstrip("v")))
    print(f"{'ok  ' if ok else 'FAIL'} node {out or '(not found)'}: package.json claims {claimed}")
    return 0 if ok else 1


def main():
    package = json.load(open(os.path.join(folder, "package.json"), encoding="utf-8"))
    lock = json.load(open(os.path.join(folder, "package-lock.json"), encoding="utf-8"))
    claimed = package.get("engines", {}).get("node", "")
    m = re.fullmatch(r">=\s*(\S+)", claimed)
    if not m:
        print(f"FAIL package.json: engines.node is {claimed!r}, not '>=VERSION'")
        return 1
    if running:
        return running_node(claimed)
    oldest = version(m.group(1))
    bad = 0
    for name, entry in lock.get("packages", {}).items():
        rng = entry.get("engines", {}).get("node") if isinstance(entry.get("engines"), dict) else None
        if rng is None:
            continue
        try:
            ok = satisfies(rng, oldest)
        except ValueError as e:
            ok, rng = False, f"{rng} ({e})"
        print(f"{'ok  ' if ok else 'FAIL'} {name or 'package.json'}: node {rng}")
        bad += not ok
    print(f"{'all' if not bad else bad} {'' if not bad else 'of the '}locked packages "
          f"{'accept' if not bad else 'refuse'} Node.js {'.'.join(map(str, oldest))}")
    return 1 if bad else 0


sys.exit(main())
