# Installation under the GNU directory names, `uninstall`, and the Debian package
# that `cpack -G DEB` (make package) builds from the same install rules.
include(GNUInstallDirs)
# Every rule belongs to one component, which is all CPack installs: its staging
# install then records its files in install_manifest_tallyrep.txt and leaves
# install_manifest.txt, which `uninstall` reads, to the last `make install`.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME tallyrep)

# The rules below install into these folders only (relative to the prefix), so
# that the install can tell which folders it creates (install_dirs.cmake).
set(man1dir ${CMAKE_INSTALL_MANDIR}/man1)
set(docsdir ${CMAKE_INSTALL_DOCDIR}/docs)
set(tallyrep_install_dirs ${CMAKE_INSTALL_BINDIR} ${man1dir} ${CMAKE_INSTALL_DOCDIR} ${docsdir})
set(tallyrep_dirs_record ${CMAKE_BINARY_DIR}/install_dirs.txt)
macro(tallyrep_install_dirs_step step)
  install(CODE "set(TALLYREP_DIRS_STEP ${step})
set(TALLYREP_INSTALL_DIRS \"${tallyrep_install_dirs}\")
set(TALLYREP_DIRS_RECORD \"${tallyrep_dirs_record}\")
include(\"${CMAKE_CURRENT_LIST_DIR}/install_dirs.cmake\")")
endmacro()
tallyrep_install_dirs_step(before)

# Each program has its manual page of the same name.
install(TARGETS tallyrep RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(tallyrep_programs tallyrep)
if(TARGET tallyrep-export)
  install(TARGETS tallyrep-export RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(APPEND tallyrep_programs tallyrep-export)
endif()
# A stripped install (cmake --install --strip, and CPack's) also drops what
# strip keeps and a program never reads: the compilers' .comment and the .note
# section, as Debian's dh_strip does.
if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
  set(bindir "\$ENV{DESTDIR}${CMAKE_INSTALL_BINDIR}")
else()
  set(bindir "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}")
endif()
if(CMAKE_STRIP)
  foreach(program ${tallyrep_programs})
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
        \"${bindir}/${program}\" COMMAND_ERROR_IS_FATAL ANY)
    endif()")
  endforeach()
endif()

# Manual pages and the changelog are installed compressed (gzip -9n, no name or
# time stamp, so that the package is reproducible), as Debian's are.
find_program(TALLYREP_GZIP gzip)
set(man_files)
set(changelog_files)
function(tallyrep_compressed src name out_list)
  if(TALLYREP_GZIP)
    get_filename_component(dir ${CMAKE_BINARY_DIR}/${name} DIRECTORY)
    set(gz ${CMAKE_BINARY_DIR}/${name}.gz)
    add_custom_command(OUTPUT ${gz}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${CMAKE_COMMAND} -E copy ${src} ${CMAKE_BINARY_DIR}/${name}
      COMMAND ${TALLYREP_GZIP} -9nf ${CMAKE_BINARY_DIR}/${name}
      DEPENDS ${src} COMMENT "Compressing ${name}")
    set(file ${gz})
  else()
    configure_file(${src} ${CMAKE_BINARY_DIR}/${name} COPYONLY)
    set(file ${CMAKE_BINARY_DIR}/${name})
  endif()
  set(${out_list} ${${out_list}} ${file} PARENT_SCOPE)
endfunction()
foreach(page ${tallyrep_programs})
  tallyrep_compressed(${CMAKE_SOURCE_DIR}/man/${page}.1 man/${page}.1 man_files)
endforeach()
# The package's version has no Debian revision (the project is its own upstream),
# so Debian names its changelog changelog.gz, not changelog.Debian.gz.
tallyrep_compressed(${CMAKE_SOURCE_DIR}/packaging/debian/changelog doc/changelog changelog_files)
add_custom_target(compressed_docs ALL DEPENDS ${man_files} ${changelog_files})
install(FILES ${man_files} DESTINATION ${man1dir})
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${changelog_files}
  ${CMAKE_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${docsdir}
  FILES_MATCHING PATTERN "*.md")
tallyrep_install_dirs_step(after)

# `uninstall` removes the files the last install recorded in install_manifest.txt,
# then the folders installs created that are empty then.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -DDIRS=${tallyrep_dirs_record} -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake)

set(TALLYREP_PACKAGE_MAINTAINER "tallyrep developers <tallyrep@example.org>" CACHE STRING
  "Maintainer field of the Debian package: NAME <ADDRESS>")
if(NOT TALLYREP_PACKAGE_MAINTAINER MATCHES "^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$")
  message(WARNING "TALLYREP_PACKAGE_MAINTAINER is \"${TALLYREP_PACKAGE_MAINTAINER}\": Debian "
    "wants NAME <ADDRESS> there (lintian: malformed-contact)")
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_dirs.cmake)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};tallyrep;tallyrep;/")
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
