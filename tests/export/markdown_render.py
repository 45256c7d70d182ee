#!/usr/bin/env python3
"""The Markdown summary of a hostile run, rendered as GitHub renders it.

Usage: markdown_render.py EXPORTER WORK_DIR

Builds two runs of the same shape, one whose names, check texts, run label and
source lines are crafted to break out (line breaks, HTML, mentions, references,
autolinks, fences) and one with plain words in their place, exports each with
--baseline, --history and --source-root, and renders both summaries with
cmark-gfm and its extensions (raw HTML let through, so that none can hide).
The hostile page must make the same elements as the plain one, in the same
order, and show no mention, reference or link outside code. Exit 77 without
cmark-gfm.
"""
import html.parser
import os
import re
import shutil
import subprocess
import sys

HOSTILE = [
    "x\r# Heading\r![i](http://e.example/i.png) **b** <b>bold</b> @user",
    "@org/team and @user, mail a@b.example",
    "#123 GH-45 org/repo#6 !7 ~label %milestone &8 $9",
    "https://evil.example/x www.evil.example ftp://f.example",
    "| cell | break |\n- item\n\n> quote",
    "line\u2028sep\u2029para\u0085nel\x0bvt",
    "```fence``` ~~~ `x`",
    "<script>alert(1)</script><!-- c -->",
    "    indented\tcode",
    "1. ordered",
]
SOURCE_LINE = "int x;\r# Injected\r<img src=x> @user ``` ```` https://e.example \u2028# Two"


def xml_text(s):
    out = s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")
    # Control characters as references, as the report writer's escape gives
    # every byte it does not copy.
    return "".join(c if c >= " " or c == "\n" else "&#%d;" % ord(c) for c in out)


def report(names, texts, state):
    cases = ""
    for k, (name, text) in enumerate(zip(names, texts)):
        rows = ""
        if state == "ko":
            rows = ('<TABLE><ROW><CELL STYLE="Array Failed"><LINK TARGET="Src.java line %d">'
                    "<TEXT>%s</TEXT></LINK></CELL></ROW></TABLE>" % (k + 2, xml_text(text)))
        cases += '<DAZU:NODE name="%s" type="Test Case" state="%s">%s</DAZU:NODE>' % (
            xml_text(name), state, rows)
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<DAZU>\n<APIDOC>\n'
            '<DOCUMENT TITLE="r.xrd" TAG=" x0">\n<SECTION TAG="filex1">\n</SECTION>\n'
            '<DAZU:NODE name="D" type="Test Driver" state="%s">%s</DAZU:NODE>\n'
            "</DOCUMENT>\n</APIDOC>\n</DAZU>\n" % (state, cases))


class Tags(html.parser.HTMLParser):
    """The elements in order, and the text outside code."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tags, self.text, self.code = [], [], 0

    def handle_starttag(self, tag, attrs):
        self.tags.append(tag)
        if tag in ("code", "pre"):
            self.code += 1

    def handle_endtag(self, tag):
        self.tags.append("/" + tag)
        if tag in ("code", "pre"):
            self.code -= 1

    def handle_data(self, data):
        if self.code == 0:
            self.text.append(data)

    def handle_comment(self, data):
        self.tags.append("!--")


def export_and_render(exporter, work, texts):
    os.makedirs(work)
    src = os.path.join(work, "src")
    os.makedirs(src)
    # Line k + 2 is test k's check: the crafted source line, or a plain one.
    with open(os.path.join(src, "Src.java"), "w", encoding="utf-8", newline="") as f:
        f.write("class Src {\n" + "".join(line + "\n" for line in source_lines(texts)) + "}\n")
    names = [t.replace("\n", " ") for t in texts]
    for name, state in (("base.xrd", "ok"), ("r.xrd", "ko")):
        with open(os.path.join(work, name), "w", encoding="utf-8", newline="") as f:
            f.write(report(names, texts, state))
    history = os.path.join(work, "history")
    label = texts[0]
    md = os.path.join(work, "out.md")
    for run_label in (label, "plain"):
        subprocess.run([exporter, os.path.join(work, "r.xrd"), "--baseline",
                        os.path.join(work, "base.xrd"), "--source-root", src, "--history", history,
                        "--run-label", run_label, "--markdown", md], check=True)
    rendered = subprocess.run(["cmark-gfm", "--unsafe", "-e", "autolink", "-e", "table", "-e",
                               "strikethrough", "-e", "tagfilter", "-e", "tasklist", md],
                              check=True, capture_output=True).stdout.decode("utf-8")
    tags = Tags()
    tags.feed(rendered)
    return open(md, encoding="utf-8").read(), rendered, tags


def source_lines(texts):
    if texts is HOSTILE:
        return [SOURCE_LINE] * len(texts)
    return ["int plain;"] * len(texts)


def main():
    exporter, work = sys.argv[1], sys.argv[2]
    if shutil.which("cmark-gfm") is None:
        print("cmark-gfm is not installed: skipped")
        return 77
    shutil.rmtree(work, ignore_errors=True)
    plain = ["plain words %d" % k for k in range(len(HOSTILE))]
    _, _, expected = export_and_render(exporter, os.path.join(work, "plain"), plain)
    md, rendered, got = export_and_render(exporter, os.path.join(work, "hostile"), HOSTILE)
    failed = []
    if got.tags != expected.tags:
        failed.append("the hostile summary makes other elements than the plain one:\n  %s\n  %s"
                      % (" ".join(got.tags), " ".join(expected.tags)))
    text = "".join(got.text)
    for what, pattern in (("a mention", r"(?<![\w`])@[A-Za-z0-9]"),
                          ("an issue reference", r"(?<![\w])#[0-9]|GH-[0-9]|![0-9]"),
                          ("a link", r"https?://|ftp://|www\."),
                          ("a line separator", "[\u2028\u2029\u0085\r]")):
        found = re.search(pattern, text)
        if found:
            failed.append("%s outside code: ...%s..." % (what, text[max(0, found.start() - 20):
                                                                   found.end() + 20]))
    for word in ("failing since", "New failures", "Src.java:2"):
        if word not in md:
            failed.append("the summary lacks '%s'" % word)
    if failed:
        print("\n".join(failed))
        print("--- Markdown\n" + md + "--- HTML\n" + rendered)
        return 1
    print("the hostile summary renders as the plain one: %d elements, no mention, reference "
          "or link" % len(got.tags))
    return 0


if __name__ == "__main__":
    sys.exit(main())
