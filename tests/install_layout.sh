#!/bin/sh
# The installed layout and `uninstall`: both programs, their compressed manual pages
# and the documentation, as `make install` lays them out; after uninstall, no file
# and no folder the installs created, and every folder that was there before.
# usage: install_layout.sh PREFIX BUILD_DIR
prefix=$1 build=$2
install() { cmake --install "$build" --prefix "$prefix" >/dev/null || exit 1; }
uninstall() { cmake --build "$build" --target uninstall >/dev/null || exit 1; }
left() { (cd "$prefix" 2>/dev/null && find . -mindepth 1 | LC_ALL=C sort | tr '\n' ' '); }

# A fresh prefix, installed into twice as a rebuild does: nothing stays.
rm -rf "$prefix" || exit 1
install
for f in bin/tallyrep bin/tallyrep-export share/man/man1/tallyrep.1.gz \
         share/man/man1/tallyrep-export.1.gz share/doc/tallyrep/README.md \
         share/doc/tallyrep/changelog.gz share/doc/tallyrep/copyright; do
  [ -s "$prefix/$f" ] || { echo "missing: $f"; exit 1; }
done
"$prefix/bin/tallyrep-export" --version || exit 1
install
uninstall
[ -z "$(left)" ] || { echo "left after uninstall: $(left)"; exit 1; }

# Folders that were there stay, the one holding another program and the empty one.
rm -rf "$prefix" && mkdir -p "$prefix/bin" "$prefix/share/man" && : >"$prefix/bin/other" || exit 1
install
uninstall
want="./bin ./bin/other ./share ./share/man "
[ "$(left)" = "$want" ] || { echo "after uninstall: $(left)"; echo "wanted: $want"; exit 1; }
echo "uninstall removed what the installs created and nothing else"
