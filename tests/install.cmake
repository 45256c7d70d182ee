# The installed layout: both programs, their compressed manual pages and the
# documentation under a fresh prefix, as `make install` lays them out; then
# `uninstall` removes every file and the project's own folders again.
if(TARGET tallyrep-export)
  add_test(NAME install_layout
    COMMAND sh -c "rm -rf \"$1\" && cmake --install \"$2\" --prefix \"$1\" >/dev/null && \
for f in bin/tallyrep bin/tallyrep-export share/man/man1/tallyrep.1.gz \
         share/man/man1/tallyrep-export.1.gz share/doc/tallyrep/README.md; do \
  [ -s \"$1/$f\" ] || { echo \"missing: $f\"; exit 1; }; done && \
\"$1/bin/tallyrep-export\" --version && \
cmake --build \"$2\" --target uninstall >/dev/null && \
left=$(find \"$1\" \\( -type f -o -name tallyrep \\) -print) && \
{ [ -z \"$left\" ] || { echo \"left after uninstall: $left\"; exit 1; }; }"
      sh ${CMAKE_BINARY_DIR}/install-test ${CMAKE_BINARY_DIR})
  set_tests_properties(install_layout PROPERTIES TIMEOUT 60 RESOURCE_LOCK install_manifest)
endif()
