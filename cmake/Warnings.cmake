# One warning list for every target of the project.
# clang counts signedness changes under -Wconversion, g++ does not: keep the two alike
set(XSUITE_WARNINGS -Wall -Wextra -Wpedantic -Wconversion -Wshadow -Wno-sign-conversion)
if(XSUITE_WERROR)
  list(APPEND XSUITE_WARNINGS -Werror)
endif()

# xsuite_target(<name>): applies the project's warnings and include root.
function(xsuite_target name)
  target_compile_options(${name} PRIVATE ${XSUITE_WARNINGS})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:include>)
endfunction()

# xsuite_test(<name> <sources...> LIBS <libs...>): one GoogleTest executable,
# with the shared test support at hand.
function(xsuite_test name)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_compile_options(${name} PRIVATE ${XSUITE_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${T_LIBS} xsuite_testsupport GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# xsuite_program(<name> SOURCES <sources...> [TESTS <test sources...>]): the
# program's module <name>_core (its computation and run()), the executable
# <name> whose main.cpp calls run(), its install rule, and its unit tests.
function(xsuite_program name)
  cmake_parse_arguments(P "" "" "SOURCES;TESTS" ${ARGN})
  add_library(${name}_core STATIC ${P_SOURCES})
  xsuite_target(${name}_core)
  target_link_libraries(${name}_core PUBLIC pipeline)
  add_executable(${name} main.cpp)
  xsuite_target(${name})
  target_link_libraries(${name} PRIVATE ${name}_core)
  install(TARGETS ${name} RUNTIME DESTINATION bin)
  if(XSUITE_TESTS AND P_TESTS)
    xsuite_test(${name}_tests ${P_TESTS} LIBS ${name}_core)
  endif()
endfunction()
