# GoogleTest: the system package natively; built from the Debian source tree
# with the cross toolchain for Windows.
if(CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  # The source tree defines the GTest:: aliases itself.
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
  find_package(Threads REQUIRED)
endif()
include(GoogleTest)

# voren_test_headers(TARGET): GoogleTest's and GoogleMock's headers
# precompiled once (tests/support's voren_test_headers) for every test file of
# TARGET: parsed anew they cost each file about two seconds of the compiler.
function(voren_test_headers target)
  target_link_libraries(${target} PRIVATE GTest::gmock)
  target_precompile_headers(${target} REUSE_FROM voren_test_headers)
endfunction()

# voren_add_test(NAME SOURCES... LIBS ...): one GoogleTest binary, one ctest entry.
# Under a cross build ctest runs it through CMAKE_CROSSCOMPILING_EMULATOR (Wine).
function(voren_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  voren_test_headers(${name})
  add_test(NAME ${name} COMMAND ${name})
endfunction()

# voren_skipped_test(NAME REASON): a ctest entry that reports itself skipped,
# saying why, for a test this build cannot run.
function(voren_skipped_test name reason)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "[  SKIPPED ] ${reason}")
  set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endfunction()
