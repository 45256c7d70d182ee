# Installation under the GNU directory names, `uninstall`, and the Debian package
# that `cpack -G DEB` (make package) builds from the same install rules.
include(GNUInstallDirs)

install(TARGETS tallyrep RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(tallyrep_man_pages tallyrep)
if(TARGET tallyrep-export)
  install(TARGETS tallyrep-export RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(APPEND tallyrep_man_pages tallyrep-export)
endif()

# Manual pages are installed compressed (gzip -9n, no time stamp), as Debian's are.
find_program(TALLYREP_GZIP gzip)
set(man_files)
foreach(page ${tallyrep_man_pages})
  set(src ${CMAKE_SOURCE_DIR}/man/${page}.1)
  if(TALLYREP_GZIP)
    set(gz ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${gz}
      COMMAND ${CMAKE_COMMAND} -E copy ${src} ${CMAKE_BINARY_DIR}/man/${page}.1
      COMMAND ${TALLYREP_GZIP} -9nf ${CMAKE_BINARY_DIR}/man/${page}.1
      DEPENDS ${src} COMMENT "Compressing ${page}.1")
    list(APPEND man_files ${gz})
  else()
    list(APPEND man_files ${src})
  endif()
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_files})
install(FILES ${man_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
  FILES_MATCHING PATTERN "*.md")

# `uninstall` removes the files the last install recorded in install_manifest.txt.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -DDOCDIR=${CMAKE_INSTALL_DOCDIR} -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake)

set(TALLYREP_PACKAGE_MAINTAINER "tallyrep developers" CACHE STRING
  "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallyrep)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "results reports, HTML pages and JUnit XML from Java component test traces")
set(CPACK_PACKAGE_DESCRIPTION "tallyrep reads the trace files that a component test harness of Java
code leaves (static TSF files, one dynamic TDF file), rolls pass and fail up
through drivers, suites, classes and test cases, and writes one XML results
report (XRD). tallyrep-export turns such reports into a self-contained HTML
page, JUnit XML for CI servers, and Markdown and JSON summaries.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TALLYREP_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# The dependencies follow the libraries the programs link (dpkg-shlibdeps, from dpkg-dev;
# CPack picks the programs out with `file`).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
