# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on its staging tree before it packs it:
# every folder becomes 0755, the mode Debian wants, whatever the umask was.
# CMake creates the folders above an installed file with the umask applied
# (CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS does not reach them).
file(GLOB_RECURSE dirs LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(dir "${CPACK_TEMPORARY_DIRECTORY}" ${dirs})
  if(IS_DIRECTORY "${dir}" AND NOT IS_SYMLINK "${dir}")
    file(CHMOD "${dir}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
      GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
