include_guard(GLOBAL)
include(GoogleTest)

# tovik_add_test(<name> SOURCES <files...> LIBS <targets...> [PROPERTIES <ctest props...>])
# One GoogleTest executable whose cases ctest discovers by itself. The tests
# run with the offscreen Qt platform so that no test needs a display.
function(tovik_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tovik_testsupport GTest::gtest)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300 ${ARG_PROPERTIES})
endfunction()

# tovik_add_bench(<name> SOURCES <files...> LIBS <targets...>)
function(tovik_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
endfunction()
