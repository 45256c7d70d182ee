// Style sheet of the HTML page: light and dark schemes, the virtual lists, print.
#include "export/html_export.h"

const char* const HTML_STYLE =
    R"CSS(:root{color-scheme:light dark;--bg:#fff;--fg:#1d2330;--muted:#5b6475;--line:#d8dde6;
--head:#f3f5f8;--pass:#17703a;--pass-bg:#e3f3e8;--fail:#a8211a;--fail-bg:#fce8e6;--ne:#5f6673;
--ne-bg:#eef0f3;--accent:#0b57d0;--hl:#fff1b8}
@media (prefers-color-scheme:dark){:root{--bg:#14171c;--fg:#e4e7ed;--muted:#a0a8b6;--line:#323844;
--head:#1d2129;--pass:#6fd38f;--pass-bg:#17301f;--fail:#ff8a80;--fail-bg:#3d1c1c;--ne:#a0a8b6;
--ne-bg:#252a33;--accent:#8ab4f8;--hl:#4d4420}}
*{box-sizing:border-box}
body{margin:0;font:14px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;background:var(--bg);color:var(--fg)}
h1{font-size:22px;margin:0}h2{font-size:16px;margin:0 0 6px}
a{color:var(--accent)}
.top{padding:14px 20px 6px}.top .file{margin:2px 0 0;color:var(--muted);word-break:break-all}
.overview{display:flex;flex-wrap:wrap;gap:28px;padding:6px 20px 14px;align-items:flex-start}
.summary{display:flex;gap:18px;align-items:center}
.donut circle{fill:none;stroke-width:5}.d-none{stroke:var(--ne-bg)}.d-pass{stroke:var(--pass)}.d-fail{stroke:var(--fail)}
.d-text{font-size:8px;font-weight:600;text-anchor:middle;fill:var(--fg)}
.totals{margin:0;display:grid;gap:4px}.totals div{display:flex;gap:10px;align-items:baseline}
.totals dt{min-width:6.5em;color:var(--muted)}.totals dd{margin:0;font-size:20px;font-weight:700}
.t-pass dd{color:var(--pass)}.t-fail dd{color:var(--fail)}
.info table{border-collapse:collapse}.info th,.info td{border:1px solid var(--line);padding:3px 10px;text-align:left;vertical-align:top}
.info th[scope=row]{font-weight:500;color:var(--muted)}.info tr.banner th{background:var(--head)}
.info tr.failed td,.info tr.failed th{color:var(--fail);background:var(--fail-bg)}
.info tr.passed td,.info tr.passed th{color:var(--pass);background:var(--pass-bg)}
.toolbar{position:sticky;top:0;z-index:3;display:flex;flex-wrap:wrap;gap:12px;align-items:center;padding:8px 20px;
background:var(--bg);border-top:1px solid var(--line);border-bottom:1px solid var(--line)}
.toolbar input[type=search]{min-width:16em;padding:3px 6px}
#shown{color:var(--muted);margin-left:auto}
.panes{display:flex;height:calc(100vh - 50px);scroll-margin-top:50px}
#nav{width:30%;min-width:200px;max-width:440px;border-right:1px solid var(--line);overflow:auto;position:relative}
#main{flex:1;overflow:auto;position:relative}
.spacer{position:relative;min-height:1px}
.item{position:absolute;left:0;right:0;height:28px;line-height:28px;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.empty{padding:20px;color:var(--muted)}
.nav{padding-right:6px;font-size:13px}.nav a{color:var(--fg);text-decoration:none}.nav a:hover{text-decoration:underline}
.twisty{display:inline-block;width:18px;border:0;background:none;color:var(--muted);padding:0;cursor:pointer;font:inherit}
.mark{display:inline-block;width:1.3em;text-align:center;font-weight:700}
.ok>.mark,.ok .mark,.badge.ok{color:var(--pass)}.ko>.mark,.ko .mark,.badge.ko{color:var(--fail)}.ne .mark,.badge.ne{color:var(--ne)}
.sec{font-weight:600;background:var(--head);border-left:4px solid var(--ne);border-top:1px solid var(--line)}
.sec.ok{border-left-color:var(--pass)}.sec.ko{border-left-color:var(--fail)}
.badge{display:inline-block;min-width:7.5em;font-size:12px;padding:0 6px;margin-right:8px;border-radius:3px;line-height:19px}
.badge.ok{background:var(--pass-bg)}.badge.ko{background:var(--fail-bg)}.badge.ne{background:var(--ne-bg)}
.sec .here{margin-left:8px;color:var(--muted);text-decoration:none;font-weight:400}
.current{outline:2px solid var(--accent);outline-offset:-2px;background:var(--hl)}
.row{display:grid;grid-template-columns:40% 15% 15% 15% 15%;font-size:13px;border-bottom:1px solid var(--line)}
.row>span{padding:0 8px;overflow:hidden;text-overflow:ellipsis}
.row.print{grid-template-columns:55% 45%}
.row.heading{font-weight:600;color:var(--muted)}
.row.failed{background:var(--fail-bg);color:var(--fail)}.row.passed{color:var(--pass)}
.src{color:var(--muted);margin-left:10px;font-size:12px}
@media print{.toolbar,#nav,noscript{display:none}.panes{display:block;height:auto}#main{overflow:visible}
.spacer{height:auto!important}.item{position:static;height:auto;min-height:28px;white-space:normal;break-inside:avoid}
.row>span{white-space:normal}.twisty,.here{visibility:hidden}body{font-size:11px}.current{outline:0;background:none}}
)CSS";
