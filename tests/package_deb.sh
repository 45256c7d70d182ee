#!/bin/sh
# Builds the Debian package from a build folder with CPack and checks what it holds:
# its fields, its dependencies (from dpkg-shlibdeps), its files, and that the packaged
# programs run. Exits 77 (skipped) only when dpkg-deb or dpkg-shlibdeps is missing.
# usage: package_deb.sh BUILD_DIR WORK_DIR
build=$1 work=$2
for tool in cpack dpkg-deb dpkg-shlibdeps file; do
  command -v $tool >/dev/null 2>&1 || { echo "skipped: $tool is not installed (packages dpkg-dev, file)"; exit 77; }
done
rm -rf "$work" && mkdir -p "$work" || exit 1
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/tallyrep_*.deb 2>/dev/null)
[ -n "$deb" ] || { echo "no tallyrep_*.deb in $work"; cat "$work/cpack.log"; exit 1; }
echo "package: $(basename "$deb")"
dpkg-deb -c "$deb" | tee "$work/contents"
dpkg-deb -f "$deb" | tee "$work/fields"
fail=0
want() { grep -q -- "$2" "$work/$1" || { echo "FAIL: $1 lacks $2"; fail=1; }; }
for f in bin/tallyrep bin/tallyrep-export share/man/man1/tallyrep.1.gz \
         share/man/man1/tallyrep-export.1.gz share/doc/tallyrep/README.md; do
  want contents " \./usr/$f\$"
done
want fields '^Package: tallyrep$'
want fields '^Version: [0-9]'
want fields '^Maintainer: .'
want fields '^Description: .'
# Every library the programs link is a dependency: libstdc++ for both, libxml2 and
# zlib for the exporter.
want fields '^Depends: .*libstdc++6'
want fields '^Depends: .*libxml2'
want fields '^Depends: .*zlib1g'
dpkg-deb -x "$deb" "$work/root" || exit 1
"$work/root/usr/bin/tallyrep-export" --version || fail=1
"$work/root/usr/bin/tallyrep" 2>&1 | grep -q . || { echo "FAIL: packaged tallyrep printed nothing"; fail=1; }
exit $fail
