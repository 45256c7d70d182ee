#!/bin/sh
# Both manual pages render with no warning under the C locale and in UTF-8:
#   sh tests/man_check.sh SOURCE_FOLDER
# Exit 77 (skipped) without groff.
command -v groff >/dev/null 2>&1 || { echo "groff is not installed: skipped"; exit 77; }
status=0
for page in "$1"/man/*.1; do
  for dev in ascii utf8; do
    said=$(LC_ALL=C groff -man -T"$dev" -ww -z "$page" 2>&1)
    if [ -n "$said" ]; then
      echo "$page (-T$dev):"; echo "$said"; status=1
    fi
  done
done
[ $status = 0 ] && echo "every manual page renders with no warning"
exit $status
