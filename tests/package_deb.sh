#!/bin/sh
# Builds the Debian package from a build folder with CPack and checks what it holds:
# its fields, its dependencies (from dpkg-shlibdeps), its files, that the packaged
# programs run, and that lintian finds nothing to say (no error, warning or pedantic
# tag, no hardening or unneeded-section hint). Exits 77 (skipped) when dpkg-deb or
# dpkg-shlibdeps is missing, or when all else passed but lintian is not installed.
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
         share/man/man1/tallyrep-export.1.gz share/doc/tallyrep/README.md \
         share/doc/tallyrep/changelog.gz share/doc/tallyrep/copyright; do
  want contents " \./usr/$f\$"
done
want fields '^Package: tallyrep$'
want fields '^Version: [0-9]'
want fields '^Maintainer: [^<]* <[^@]*@[^>]*>$'
want fields '^Description: .'
# Every library the programs link is a dependency: libstdc++ for both, libxml2 and
# zlib for the exporter.
want fields '^Depends: .*libstdc++6'
want fields '^Depends: .*libxml2'
want fields '^Depends: .*zlib1g'
dpkg-deb -x "$deb" "$work/root" || exit 1
"$work/root/usr/bin/tallyrep-export" --version || fail=1
"$work/root/usr/bin/tallyrep" 2>&1 | grep -q . || { echo "FAIL: packaged tallyrep printed nothing"; fail=1; }
# The changelog's latest entry is the package's version (lintian compares them
# only for source packages).
version=$(sed -n 's/^Version: //p' "$work/fields")
gzip -dc "$work/root/usr/share/doc/tallyrep/changelog.gz" | head -n 1 |
  grep -q "^tallyrep ($version) " || { echo "FAIL: the changelog's latest entry is not version $version"; fail=1; }
if ! command -v lintian >/dev/null 2>&1; then
  [ $fail = 0 ] && { echo "skipped: lintian is not installed (package lintian)"; exit 77; }
  exit $fail
fi
# Info tags are shown too: the compiler's split string constants can look like
# misspellings (spelling-error-in-binary), but hardening and stripping must hold.
lintian --pedantic --display-info --fail-on error,warning,pedantic "$deb" >"$work/lintian" 2>&1 ||
  { echo "FAIL: lintian:"; fail=1; }
cat "$work/lintian"
if grep -E ' (hardening-[a-z-]+|binary-has-unneeded-section) ' "$work/lintian"; then
  echo "FAIL: the programs are not hardened or not stripped as Debian wants"; fail=1
fi
exit $fail
