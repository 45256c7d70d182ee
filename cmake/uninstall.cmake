# Removes what an install recorded in MANIFEST (under $DESTDIR, as installed), then
# each folder recorded in DIRS (install_dirs.cmake) that is empty then. cmake -P.
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "Nothing to uninstall: ${MANIFEST} not found (make install writes it).")
endif()
file(STRINGS "${MANIFEST}" installed)
foreach(file IN LISTS installed)
  set(path "$ENV{DESTDIR}${file}")
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    message(STATUS "Removing ${path}")
    file(REMOVE "${path}")
  else()
    message(STATUS "Already gone: ${path}")
  endif()
endforeach()

# Only folders an install created, and only empty ones: a folder that was there
# before, even empty, is someone else's (a fresh /usr/local/bin is empty), and
# one that holds other files still serves them. A folder that stays keeps its
# place on the record, for the next uninstall.
if(NOT EXISTS "${DIRS}")
  return()
endif()
file(STRINGS "${DIRS}" dirs)
# Descending order puts each folder before the folders above it.
list(SORT dirs ORDER DESCENDING)
set(kept)
foreach(dir IN LISTS dirs)
  if(NOT IS_DIRECTORY "${dir}" OR IS_SYMLINK "${dir}")
    continue()
  endif()
  # rmdir, unlike file(REMOVE_RECURSE), refuses a folder that is not empty, even
  # one that something filled a moment ago.
  execute_process(COMMAND rmdir "${dir}" RESULT_VARIABLE failed ERROR_QUIET)
  if(failed)
    message(STATUS "Kept, not empty: ${dir}")
    list(APPEND kept "${dir}")
  else()
    message(STATUS "Removed ${dir}")
  endif()
endforeach()
if(kept)
  list(JOIN kept "\n" text)
  file(WRITE "${DIRS}" "${text}\n")
else()
  file(REMOVE "${DIRS}")
endif()
