# valgrind memcheck over whole runs of the normal build (skipped without
# valgrind); the sanitizer pass leaves it out, as memcheck cannot run there.
if(TARGET tallyrep)
  add_test(NAME valgrind_memcheck
    COMMAND sh ${CMAKE_SOURCE_DIR}/tests/valgrind.sh $<TARGET_FILE:tallyrep> ${CMAKE_SOURCE_DIR})
  set_tests_properties(valgrind_memcheck PROPERTIES
    LABELS nosanitize SKIP_RETURN_CODE 77 TIMEOUT 900)
endif()
