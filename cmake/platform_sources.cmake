# Platform-specific code has one file per operating system beside its
# portable part: NAME_win.cpp for Windows, NAME_posix.cpp for the rest.

# velmora_platform_files(VAR [TESTS] NAME...)
# Appends NAME_win.cpp or NAME_posix.cpp, for each NAME, to the list VAR;
# with TESTS, the test files NAME_win_test.cpp or NAME_posix_test.cpp.
function(velmora_platform_files var)
  cmake_parse_arguments(ARG "TESTS" "" "" ${ARGN})
  if(WIN32)
    set(suffix _win)
  else()
    set(suffix _posix)
  endif()
  if(ARG_TESTS)
    string(APPEND suffix _test)
  endif()
  string(APPEND suffix .cpp)
  set(files ${${var}})
  foreach(name IN LISTS ARG_UNPARSED_ARGUMENTS)
    list(APPEND files ${name}${suffix})
  endforeach()
  set(${var} ${files} PARENT_SCOPE)
endfunction()

# velmora_platform_sources(TARGET NAME...)
# Adds NAME_win.cpp or NAME_posix.cpp, for each NAME, to TARGET.
function(velmora_platform_sources target)
  set(files)
  velmora_platform_files(files ${ARGN})
  target_sources(${target} PRIVATE ${files})
endfunction()
