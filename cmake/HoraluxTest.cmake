include(GoogleTest)
if(WIN32)
  # Built for mingw-w64 from the sources Debian ships with its googletest package.
  set(HORALUX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for a cross build")
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${HORALUX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()

# add_horalux_test(name SOURCES ... LIBS ... [THREADED] [NO_GTEST_MAIN])
# THREADED tests also run under ThreadSanitizer (label "threaded"). NO_GTEST_MAIN: the sources
# bring their own main (the window tests create a QApplication first).
function(add_horalux_test name)
  cmake_parse_arguments(T "THREADED;NO_GTEST_MAIN" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set(gtest_main GTest::gtest_main)
  if(T_NO_GTEST_MAIN)
    set(gtest_main GTest::gtest)
  endif()
  target_link_libraries(${name} PRIVATE horalux_defaults ${T_LIBS} GTest::gmock ${gtest_main})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # Tests stay out of bin/, which holds the programs.
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(labels unit)
  if(T_THREADED)
    set(labels threaded)
  endif()
  if(WIN32)
    # One Wine start per suite: starting Wine for every case would take longer than the cases.
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT 300)
  else()
    gtest_discover_tests(${name}
      PROPERTIES LABELS "${labels}" TIMEOUT 120
      DISCOVERY_TIMEOUT 60
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
endfunction()
