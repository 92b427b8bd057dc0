# Installs the build into a scratch prefix and checks the result as a user
# of the installed suite would meet it. Run by ctest as
#   cmake -DBUILD_DIR=... -DWORK=... -DSOURCE_DIR=... -DCONFIG=... -DGENERATOR=...
#         -DCXX=... -DEXTRA_FLAGS=... -DPROGRAMS=a,b,c -P install_test.cmake
cmake_minimum_required(VERSION 3.25)

set(prefix ${WORK}/prefix)
string(REPLACE "," ";" programs "${PROGRAMS}")

# run(<what> <command...>): runs the command, its output kept in `out`;
# stops the test with the output when it fails.
macro(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
endmacro()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --config ${CONFIG})

# --- what landed in the prefix --------------------------------------------
foreach(prog IN LISTS programs)
  foreach(file bin/${prog} share/man/man1/${prog}.1)
    if(NOT EXISTS ${prefix}/${file})
      message(FATAL_ERROR "not installed: ${file}")
    endif()
  endforeach()
endforeach()

# exactly the two public headers: nothing internal, nothing of the programs
file(GLOB_RECURSE headers RELATIVE ${prefix}/include ${prefix}/include/*)
list(SORT headers)
if(NOT headers STREQUAL "matrix/matrix.h;xarith/xarith.h")
  message(FATAL_ERROR "installed headers: ${headers}; expected matrix/matrix.h and xarith/xarith.h")
endif()

foreach(lib xarith matrix)
  file(GLOB_RECURSE found ${prefix}/*/lib${lib}.a ${prefix}/*/${lib}Config.cmake
                         ${prefix}/*/${lib}ConfigVersion.cmake)
  list(LENGTH found count)
  if(NOT count EQUAL 3)
    message(FATAL_ERROR "library ${lib}: found ${found}")
  endif()
endforeach()

# --- an installed program runs ---------------------------------------------
if("mobrel" IN_LIST programs)
  file(WRITE ${WORK}/A.txt "0.1\t0.2\n")
  file(WRITE ${WORK}/B.txt "0.1\n0.2\n")
  run("installed mobrel" ${prefix}/bin/mobrel ${WORK}/A.txt ${WORK}/B.txt ${WORK}/C.txt)
  file(READ ${WORK}/C.txt product)
  if(NOT product STREQUAL "5.000000000000000E-02\n")
    message(FATAL_ERROR "installed mobrel wrote ${product}")
  endif()
endif()

# --- projects outside the suite build against the packages -----------------
# consume(<project> <package> <program> <expected output> [args...]): builds
# the project in SOURCE_DIR/<project> against the prefix, checks that
# find_package(<package>) found the installed package, runs the program
# and compares what it prints.
function(consume project package program expected)
  set(src ${SOURCE_DIR}/${project})
  set(bin ${WORK}/${project})
  run("configuring ${project}" ${CMAKE_COMMAND} -S ${src} -B ${bin} -G ${GENERATOR}
      -DCMAKE_PREFIX_PATH=${prefix}
      -DCMAKE_CXX_COMPILER=${CXX}
      -DCMAKE_BUILD_TYPE=${CONFIG}
      "-DCMAKE_CXX_FLAGS=${EXTRA_FLAGS}"
      "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}")
  file(STRINGS ${bin}/CMakeCache.txt dir_line REGEX "^${package}_DIR:")
  string(REGEX REPLACE "^[^=]*=" "" dir "${dir_line}")
  file(REAL_PATH "${dir}" dir)
  file(REAL_PATH "${prefix}" real_prefix)
  string(FIND "${dir}" "${real_prefix}/" at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "${project}: find_package(${package}) found ${dir}, not the package in ${prefix}")
  endif()
  run("building ${project}" ${CMAKE_COMMAND} --build ${bin} --config ${CONFIG})
  set(exe ${bin}/${program})
  if(NOT EXISTS ${exe})
    set(exe ${bin}/${CONFIG}/${program}) # a multi-configuration generator
  endif()
  run("running ${project}" ${exe} ${ARGN})
  if(NOT out STREQUAL expected)
    message(FATAL_ERROR "${project} printed:\n${out}\nexpected:\n${expected}")
  endif()
  message(STATUS "${project}: built against ${dir}, printed what it should")
endfunction()

consume(consumer xarith consumer
  "1E20 + 1 - 1E20 = 1\n1 / 3 = 0.3333333333333333333333333333333333333333\nx = 1, y = 2, determinant = 1\n")
consume(matrix-consumer matrix matrix_consumer "2 x 2: 1.5 2 -300 0.25\n" ${WORK}/table.txt)
