# Run by the install (cmake_install.cmake) before and after the files go in:
# records in TALLYREP_DIRS_RECORD the folders it creates, which `uninstall` removes
# again once they are empty. install_manifest.txt names files only.
# Set by the caller: TALLYREP_DIRS_STEP (before|after), TALLYREP_INSTALL_DIRS (the
# rules' destinations, relative to the prefix or absolute), TALLYREP_DIRS_RECORD.

# CPack's staging install names the component; it creates nothing to uninstall.
if(CMAKE_INSTALL_COMPONENT)
  return()
endif()

if(TALLYREP_DIRS_STEP STREQUAL "before")
  # A folder missing now is one this install creates: the destinations and the
  # missing folders above them. Recorded as created, DESTDIR included.
  set(tallyrep_new_dirs)
  foreach(dir IN LISTS TALLYREP_INSTALL_DIRS)
    if(NOT IS_ABSOLUTE "${dir}")
      set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
    endif()
    set(dir "$ENV{DESTDIR}${dir}")
    cmake_path(NORMAL_PATH dir)
    string(REGEX REPLACE "(.)/+$" "\\1" dir "${dir}")
    while(NOT EXISTS "${dir}" AND NOT IS_SYMLINK "${dir}")
      list(APPEND tallyrep_new_dirs "${dir}")
      cmake_path(GET dir PARENT_PATH parent)
      if(parent STREQUAL dir)
        break()
      endif()
      set(dir "${parent}")
    endwhile()
  endforeach()
  # Folders an earlier install created stay on the record while they are there,
  # so that installing twice before `uninstall` forgets none.
  set(dirs ${tallyrep_new_dirs})
  if(EXISTS "${TALLYREP_DIRS_RECORD}")
    file(STRINGS "${TALLYREP_DIRS_RECORD}" earlier)
    foreach(dir IN LISTS earlier)
      if(IS_DIRECTORY "${dir}" AND NOT IS_SYMLINK "${dir}")
        list(APPEND dirs "${dir}")
      endif()
    endforeach()
  endif()
  list(REMOVE_DUPLICATES dirs)
  if(dirs)
    list(JOIN dirs "\n" text)
    file(WRITE "${TALLYREP_DIRS_RECORD}" "${text}\n")
  else()
    file(REMOVE "${TALLYREP_DIRS_RECORD}")
  endif()
else()
  # The folders created are as readable as the files put in them, whatever
  # the umask (CMake applies it to the folders above an installed file).
  foreach(dir IN LISTS tallyrep_new_dirs)
    if(IS_DIRECTORY "${dir}" AND NOT IS_SYMLINK "${dir}")
      file(CHMOD "${dir}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
        GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
  endforeach()
endif()
