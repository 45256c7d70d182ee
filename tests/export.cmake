# Script tests of tallyrep-export: its JUnit XML against the xUnit plugin's
# schema, which Jenkins validates with, its Markdown through GitHub's renderer,
# its HTML page in a headless browser, and its CTRF and JUnit outputs read by
# the CTRF validator and Allure 3.
if(TARGET tallyrep-export)
  # The example report once it is in the tree, else the hand-written one.
  set(export_example ${CMAKE_SOURCE_DIR}/examples/calc.xrd)
  if(NOT EXISTS ${export_example})
    set(export_example ${CMAKE_CURRENT_SOURCE_DIR}/export/data/calc_like.xrd)
  endif()
  file(GLOB export_fixtures ${CMAKE_CURRENT_SOURCE_DIR}/export/data/*.xrd)

  add_test(NAME export_junit_schema
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/export/junit_schema.sh $<TARGET_FILE:tallyrep-export>
      ${CMAKE_CURRENT_SOURCE_DIR}/export/junit-10.xsd ${CMAKE_BINARY_DIR}/export-schema
      ${export_example} ${export_fixtures})
  set_tests_properties(export_junit_schema PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120
    ENVIRONMENT "TALLYREP_BIN=$<TARGET_FILE:tallyrep>")

  # The Markdown summary of crafted texts as GitHub's renderer shows it.
  add_test(NAME export_markdown_render
    COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/export/markdown_render.py
      $<TARGET_FILE:tallyrep-export> ${CMAKE_BINARY_DIR}/export-markdown-render)
  set_tests_properties(export_markdown_render PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)

  add_test(NAME export_browser
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/browser/run.sh $<TARGET_FILE:tallyrep-export>
      ${export_example} ${CMAKE_BINARY_DIR}/export-browser)
  set_tests_properties(export_browser PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 LABELS nosanitize)

  set(export_data ${CMAKE_CURRENT_SOURCE_DIR}/export/data)
  add_test(NAME export_consumers
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/consumers/run.sh $<TARGET_FILE:tallyrep-export>
      ${CMAKE_BINARY_DIR}/export-consumers ${CMAKE_SOURCE_DIR}/examples/calc.xrd
      ${export_data}/merge_a.xrd ${export_data}/merge_b.xrd ${export_data}/encodings.xrd)
  set_tests_properties(export_consumers PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()
