# Installation of the graphics runtime as a library: the two static
# libraries, the public headers, the CMake package LichtboxGfx (imported
# target LichtboxGfx::gfx) and the pkg-config file lichtbox-gfx.pc.
#
# A static library's consumers link everything it links. Each system library
# that gfx or runtime links is therefore registered once, next to where it is
# found:
#
#   lichtbox_package_dependency(<package> [FIND_ARGS <arg>...]
#                               [PKGCONFIG <module>...] [LIBS <flag>...])
#
# The package config then calls find_dependency(<package> <args>) and the
# .pc file requires the modules and lists the flags. For example, a display
# driver linking X11::X11 registers
#
#   lichtbox_package_dependency(X11 PKGCONFIG x11)
#
# lichtbox_install_package() stops the configuration when a library links a
# Name::target whose package is not registered, so none is forgotten.

include(CMakePackageConfigHelpers)

set(LICHTBOX_PACKAGE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(lichtbox_package_dependency package)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "FIND_ARGS;PKGCONFIG;LIBS")
  string(JOIN " " args ${package} ${arg_FIND_ARGS})
  set_property(GLOBAL APPEND PROPERTY LICHTBOX_PACKAGE_NAMES ${package})
  set_property(GLOBAL APPEND PROPERTY LICHTBOX_PACKAGE_FIND_CALLS "find_dependency(${args})")
  set_property(GLOBAL APPEND PROPERTY LICHTBOX_PACKAGE_PC_REQUIRES ${arg_PKGCONFIG})
  set_property(GLOBAL APPEND PROPERTY LICHTBOX_PACKAGE_PC_LIBS ${arg_LIBS})
endfunction()

# Fails when one of the targets links an imported Name::target of an
# unregistered package.
function(lichtbox_check_package_dependencies)
  get_property(known GLOBAL PROPERTY LICHTBOX_PACKAGE_NAMES)
  foreach(target IN LISTS ARGN)
    get_target_property(links ${target} LINK_LIBRARIES)
    foreach(item IN LISTS links)
      if(item MATCHES "^([A-Za-z0-9_]+)::" AND NOT CMAKE_MATCH_1 IN_LIST known)
        message(FATAL_ERROR "${target} links ${item}: register its package with "
                            "lichtbox_package_dependency(${CMAKE_MATCH_1} ...) (cmake/LichtboxPackage.cmake)")
      endif()
    endforeach()
  endforeach()
endfunction()

# What a C program must add to link the C++ libraries ("stdc++;m" or the
# like): the C++ compiler's implicit libraries that the C compiler lacks.
function(lichtbox_cxx_runtime_libraries out)
  set(libs ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
  list(REMOVE_ITEM libs ${CMAKE_C_IMPLICIT_LINK_LIBRARIES})
  list(REMOVE_DUPLICATES libs)
  set(${out} ${libs} PARENT_SCOPE)
endfunction()

# An install directory as seen from the pkg-config variable ${prefix}.
function(lichtbox_pc_dir out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "\${prefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

# The CMake package: exported targets, config with the dependencies, version.
function(lichtbox_install_cmake_package targets)
  set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/LichtboxGfx)
  install(TARGETS ${targets} EXPORT LichtboxGfxTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
          FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/lichtbox COMPONENT development)
  install(EXPORT LichtboxGfxTargets NAMESPACE LichtboxGfx:: DESTINATION ${cmake_dir} COMPONENT development)

  get_property(calls GLOBAL PROPERTY LICHTBOX_PACKAGE_FIND_CALLS)
  list(JOIN calls "\n" LICHTBOX_FIND_DEPENDENCIES)
  configure_package_config_file(${LICHTBOX_PACKAGE_DIR}/LichtboxGfxConfig.cmake.in
                                ${PROJECT_BINARY_DIR}/LichtboxGfxConfig.cmake
                                INSTALL_DESTINATION ${cmake_dir})
  # 0.x releases may change the interface with each minor version.
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/LichtboxGfxConfigVersion.cmake
                                   COMPATIBILITY SameMinorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/LichtboxGfxConfig.cmake
                ${PROJECT_BINARY_DIR}/LichtboxGfxConfigVersion.cmake
          DESTINATION ${cmake_dir} COMPONENT development)
endfunction()

# The pkg-config file. It finds its prefix from its own place, so the tree
# can be installed with --prefix or DESTDIR and moved.
function(lichtbox_install_pkgconfig targets cxx_libs)
  set(pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  if(IS_ABSOLUTE "${pc_dir}")
    set(PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  else()
    file(RELATIVE_PATH pc_to_prefix /${pc_dir} /)
    string(REGEX REPLACE "/$" "" PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
  endif()
  lichtbox_pc_dir(PC_LIBDIR ${CMAKE_INSTALL_LIBDIR})
  lichtbox_pc_dir(PC_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
  get_property(requires GLOBAL PROPERTY LICHTBOX_PACKAGE_PC_REQUIRES)
  get_property(libs GLOBAL PROPERTY LICHTBOX_PACKAGE_PC_LIBS)
  string(JOIN ", " PC_REQUIRES ${requires})
  list(TRANSFORM cxx_libs PREPEND "-l")
  string(JOIN " " PC_LIBS ${libs} ${cxx_libs})
  foreach(target IN LISTS targets)
    get_target_property(name ${target} OUTPUT_NAME)
    string(APPEND PC_OWN_LIBS " -l${name}")
  endforeach()
  configure_file(${LICHTBOX_PACKAGE_DIR}/lichtbox-gfx.pc.in ${PROJECT_BINARY_DIR}/lichtbox-gfx.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/lichtbox-gfx.pc DESTINATION ${pc_dir} COMPONENT development)
endfunction()

function(lichtbox_install_package)
  set(targets gfx runtime)
  lichtbox_check_package_dependencies(${targets})
  # Installed consumers linking with the C compiler get the C++ standard
  # library named; a C++ link adds it by itself.
  lichtbox_cxx_runtime_libraries(cxx_libs)
  foreach(lib IN LISTS cxx_libs)
    target_link_libraries(runtime INTERFACE "$<INSTALL_INTERFACE:$<$<LINK_LANGUAGE:C>:${lib}>>")
  endforeach()
  lichtbox_install_cmake_package("${targets}")
  lichtbox_install_pkgconfig("${targets}" "${cxx_libs}")
endfunction()
