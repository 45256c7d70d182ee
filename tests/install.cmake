# The installed layout under a fresh prefix, as `make install` lays it out, and
# `uninstall` removing every file and folder the install created, and no other.
if(TARGET tallyrep-export)
  add_test(NAME install_layout
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/install_layout.sh ${CMAKE_BINARY_DIR}/install-test
      ${CMAKE_BINARY_DIR})
  set_tests_properties(install_layout PROPERTIES TIMEOUT 60 RESOURCE_LOCK install_manifest)
endif()
