#!/bin/sh
# Runs the browser check of the exported HTML page; exits 77 (skipped) only
# when node or the browser is not installed.
# usage: run.sh EXPORT_BIN REPORT.xrd OUT_DIR
here=$(cd "$(dirname "$0")" && pwd)
command -v node >/dev/null 2>&1 || { echo "skipped: node is not installed"; exit 77; }
[ -x "${CHROMIUM:-/usr/bin/chromium}" ] || { echo "skipped: no browser at ${CHROMIUM:-/usr/bin/chromium}"; exit 77; }
if [ ! -d "$here/node_modules/playwright-core" ] || [ ! -d "$here/node_modules/axe-core" ]; then
  echo "playwright-core or axe-core is missing: run 'make setup-test' (npm ci in tests/browser)" >&2
  exit 1
fi
exec node "$here/export_page.js" "$@"
