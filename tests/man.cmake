# The manual pages as groff renders them, with every warning turned on.
add_test(NAME man_pages COMMAND sh ${CMAKE_SOURCE_DIR}/tests/man_check.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(man_pages PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
