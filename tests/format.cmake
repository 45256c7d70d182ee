# The layout of the C++ sources, checked with clang-format against .clang-format.
add_test(NAME format_check COMMAND sh ${CMAKE_SOURCE_DIR}/tests/format_check.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(format_check PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS nosanitize)
