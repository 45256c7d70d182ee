# What a user installs and copies: the Debian package, the CI recipes in
# examples/ci run on the example traces, and the npm packages of the browser
# and consumer tests on the oldest Node.js each claims.
if(TARGET tallyrep-export)
  add_test(NAME package_deb
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/package_deb.sh ${CMAKE_BINARY_DIR}
      ${CMAKE_BINARY_DIR}/package-test)
  # The sanitizer pass leaves it out: its programs link the sanitizer runtimes.
  set_tests_properties(package_deb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120
    LABELS nosanitize RESOURCE_LOCK install_manifest)

  add_test(NAME ci_recipes
    COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/ci_recipes.py ${CMAKE_SOURCE_DIR}
      $<TARGET_FILE_DIR:tallyrep-export> ${CMAKE_BINARY_DIR}/ci-recipes)
  set_tests_properties(ci_recipes PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()

add_test(NAME browser_lock_engines
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/browser/lock_engines.py)
add_test(NAME consumers_lock_engines
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/browser/lock_engines.py
    ${CMAKE_CURRENT_SOURCE_DIR}/consumers)
