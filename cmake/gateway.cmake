# Conventions of the tree: a folder's sources are its .cpp files; *_test.cpp files are tests;
# *_posix.cpp and *_windows.cpp are built only for their platform.

function(gateway_platform_filter var)
  if(WIN32)
    list(FILTER ${var} EXCLUDE REGEX "_posix(_test)?\\.cpp$")
  else()
    list(FILTER ${var} EXCLUDE REGEX "_windows(_test)?\\.cpp$")
  endif()
  set(${var} ${${var}} PARENT_SCOPE)
endfunction()

# The library sources of a folder (tests excluded).
function(gateway_sources out dir)
  file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER found EXCLUDE REGEX "_test\\.cpp$")
  gateway_platform_filter(found)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# One test program per *_test.cpp of dir, named <prefix>_<file>, linked with LIBS and
# GoogleTest's main, registered in CTest (under wine on the Windows target).
function(gateway_tests prefix dir)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${dir}/*_test.cpp)
  gateway_platform_filter(tests)
  foreach(source ${tests})
    get_filename_component(stem ${source} NAME_WE)
    set(name ${prefix}_${stem})
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  endforeach()
endfunction()
