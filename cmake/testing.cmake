# testing.cmake: GoogleTest for both builds, and tv_add_gtest(), which makes
# one test program of a list of sources and registers it with CTest.
#
# On the host GoogleTest comes from Debian's packaged libraries; for Windows
# it is built from Debian's sources without threads, and ctest runs the
# programs under Wine inside the prepared prefix (the wine_env fixture).
if(NOT TV_TESTS)
  return()
endif()

if(TV_WIN32)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(TV_GTEST gtest gtest_main)
else()
  find_package(GTest REQUIRED)
  set(TV_GTEST GTest::gtest GTest::gtest_main)
endif()

# tv_add_gtest(NAME SOURCES a.cpp ... LIBS lib ... [WINE_GUI])
# WINE_GUI marks a Windows test that needs the X display and the virtual
# desktop, not only the prefix.  Such tests take the desktop one at a time
# even under ctest -j: a window one of them opens (a running product) would
# change what SETUP.EXE does in another.
function(tv_add_gtest name)
  cmake_parse_arguments(T "WINE_GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${TV_GTEST})
  add_test(NAME ${name} COMMAND ${name})
  tv_test_environment(${name})
  if(TV_WIN32 AND T_WINE_GUI)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine_desktop)
  endif()
endfunction()

# Gives a test the environment it runs in: under Wine the shared prefix and
# display, which the wine_env fixture prepares before the first test.  The
# label "wine" lets a machine that cannot run 32-bit code leave them out.
function(tv_test_environment test)
  if(TV_WIN32)
    set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED wine_env LABELS wine
                         ENVIRONMENT "${TV_WINE_ENVIRONMENT}")
  endif()
endfunction()

set(TV_WINE_DISPLAY 91 CACHE STRING "X display number of the Xvfb that Wine tests use")

# The prefix follows the build: 32-bit programs in a 32-bit prefix, the
# 64-bit test build in a 64-bit one.  TV_WINE names the loader for the
# scripts that start Wine themselves; the toolchain chose it.  Linux names
# are UTF-8, so that Wine can give files the accented names setup makes.
if(TV_WIN32)
  math(EXPR TV_WINE_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
  set(TV_WINE_ENVIRONMENT WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEARCH=win${TV_WINE_BITS}
      WINEDEBUG=-all LANG=C.UTF-8 DISPLAY=:${TV_WINE_DISPLAY} TV_WINE=${CMAKE_CROSSCOMPILING_EMULATOR})
endif()
