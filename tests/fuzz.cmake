# Smoke runs of the fuzz targets: one test builds them with clang into the build
# folder (skipped when clang or libFuzzer is missing), then each target runs
# briefly. They carry their own sanitizers, so the sanitizer pass leaves them out.
set(TALLYREP_FUZZ_DIR ${CMAKE_BINARY_DIR}/fuzz-targets)
set(TALLYREP_FUZZ_SMOKE_SECONDS 20 CACHE STRING "Seconds each fuzz target runs in the test suite")

add_test(NAME fuzz_build COMMAND sh ${CMAKE_SOURCE_DIR}/fuzz/build.sh ${TALLYREP_FUZZ_DIR})
set_tests_properties(fuzz_build PROPERTIES
  LABELS nosanitize FIXTURES_SETUP fuzz_targets SKIP_RETURN_CODE 77 TIMEOUT 1200)

foreach(target tsf tdf header run export history)
  add_test(NAME fuzz_smoke_${target}
    COMMAND sh ${CMAKE_SOURCE_DIR}/fuzz/smoke.sh ${target} ${TALLYREP_FUZZ_SMOKE_SECONDS}
            ${TALLYREP_FUZZ_DIR})
  set_tests_properties(fuzz_smoke_${target} PROPERTIES
    LABELS nosanitize FIXTURES_REQUIRED fuzz_targets SKIP_RETURN_CODE 77 TIMEOUT 600)
endforeach()
