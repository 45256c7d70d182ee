# The exporter's page script and style sheet, embedded at build time: sets
# EXPORT_ASSET_SOURCES to the generated sources that define HTML_SCRIPT and HTML_STYLE.
set(EXPORT_ASSET_SOURCES)
foreach(asset "page.js;HTML_SCRIPT" "page.css;HTML_STYLE")
  list(GET asset 0 file)
  list(GET asset 1 name)
  set(in ${CMAKE_CURRENT_LIST_DIR}/../src/export/write/${file})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/generated/${file}.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${in} -DOUT=${out} -DNAME=${name}
            -DHEADER=export/write/page_assets.h -P ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
    DEPENDS ${in} ${CMAKE_CURRENT_LIST_DIR}/embed.cmake
    COMMENT "Embedding ${file}")
  list(APPEND EXPORT_ASSET_SOURCES ${out})
endforeach()
