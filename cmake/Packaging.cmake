# Installation of the suite's libraries as CMake packages: the archive, the
# public header, the exported target and a package configuration, so that
# another project writes find_package(<lib>) and links <lib>::<lib>.
#
# Installed layout under the prefix, for the library xarith:
#   include/xarith/xarith.h
#   <libdir>/libxarith.a
#   <libdir>/cmake/xarith/xarithConfig.cmake, xarithConfigVersion.cmake,
#                         xarithTargets.cmake (and one file per build type)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# xsuite_package(<lib> HEADERS <headers...> [DEPENDS <libs...>]): installs
# the library target <lib> as the package <lib>, version PROJECT_VERSION.
# HEADERS are the public headers, installed as include/<lib>/<header>, the
# folder the include root of xsuite_target points at. Each library of
# DEPENDS is another package of the suite, installed beside this one and
# found first by this package's configuration.
function(xsuite_package name)
  cmake_parse_arguments(P "" "" "HEADERS;DEPENDS" ${ARGN})

  # the same name in the build tree as in an installed package
  if(NOT TARGET ${name}::${name})
    add_library(${name}::${name} ALIAS ${name})
  endif()
  # the public headers use inline variables and std::string_view
  target_compile_features(${name} PUBLIC cxx_std_17)

  set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${name})
  install(TARGETS ${name} EXPORT ${name}Targets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${P_HEADERS} DESTINATION include/${name})
  install(EXPORT ${name}Targets NAMESPACE ${name}:: DESTINATION ${config_dir})

  # A dependency is looked for only beside this package, never elsewhere
  # on the system: another package could well be called "matrix".
  set(XSUITE_PACKAGE ${name})
  set(XSUITE_PACKAGE_DEPENDENCIES "")
  foreach(dep IN LISTS P_DEPENDS)
    string(APPEND XSUITE_PACKAGE_DEPENDENCIES
      "find_dependency(${dep} ${PROJECT_VERSION} EXACT CONFIG\n"
      "  PATHS \"\${CMAKE_CURRENT_LIST_DIR}/../${dep}\" NO_DEFAULT_PATH)\n")
  endforeach()
  configure_package_config_file(
    ${PROJECT_SOURCE_DIR}/cmake/xsuitePackageConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/${name}Config.cmake
    INSTALL_DESTINATION ${config_dir}
    NO_SET_AND_CHECK_MACRO)
  write_basic_package_version_file(
    ${CMAKE_CURRENT_BINARY_DIR}/${name}ConfigVersion.cmake
    VERSION ${PROJECT_VERSION}
    COMPATIBILITY SameMajorVersion)
  install(FILES
    ${CMAKE_CURRENT_BINARY_DIR}/${name}Config.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/${name}ConfigVersion.cmake
    DESTINATION ${config_dir})
endfunction()
