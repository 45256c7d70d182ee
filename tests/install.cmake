# The installed layout: both programs and both manual pages, as a packager's
# `cmake --install` lays them out under a fresh prefix.
if(TARGET tallyrep-export)
  add_test(NAME install_layout
    COMMAND sh -c "rm -rf \"$1\" && cmake --install \"$2\" --prefix \"$1\" >/dev/null && \
for f in bin/tallyrep bin/tallyrep-export share/man/man1/tallyrep.1 share/man/man1/tallyrep-export.1; do \
  [ -s \"$1/$f\" ] || { echo \"missing: $f\"; exit 1; }; done && \
\"$1/bin/tallyrep-export\" --version"
      sh ${CMAKE_BINARY_DIR}/install-test ${CMAKE_BINARY_DIR})
  set_tests_properties(install_layout PROPERTIES TIMEOUT 60)
endif()
