# The hardening of optimised builds (TALLYREP_HARDENING), the package's among them:
# what Debian's dpkg-buildflags gives with hardening=+all.
# Only what ships is hardened, the programs and the libraries in src/, which the
# tests then exercise as shipped; the tests' own setup code (system(), freopen())
# would meet fortify's unused-result warnings. The format check stays a warning:
# -Werror=format-security would fail a user's build on it. Fortify needs the
# optimiser, and the sanitizers bring their own checks.
if(TALLYREP_HARDENING AND NOT TALLYREP_SANITIZE)
  set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
  set(options -fstack-protector-strong -Wformat -Wformat-security)
  # A fortify level chosen in CMAKE_CXX_FLAGS wins; another one the compiler
  # predefines must not turn into a redefinition warning.
  if(NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
    list(PREPEND options -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
  endif()
  get_property(shipped DIRECTORY src PROPERTY BUILDSYSTEM_TARGETS)
  list(APPEND shipped tallyrep tallyrep-export)
  foreach(target IN LISTS shipped)
    if(NOT TARGET ${target})
      continue()
    endif()
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      target_compile_options(${target} PRIVATE "$<${optimised}:${options}>")
    endif()
    if(type STREQUAL "EXECUTABLE")
      target_link_options(${target} PRIVATE "$<${optimised}:-Wl,-z,relro;-Wl,-z,now>")
    endif()
  endforeach()
endif()
