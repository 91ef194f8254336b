# Install rules: the shared libraries with their SONAME links, the headers,
# the tool and its man page, a CMake package `hankel_transf` and pkg-config files.
#
#   find_package(hankel_transf 1.0 REQUIRED)             # both targets, if installed
#   find_package(hankel_transf REQUIRED COMPONENTS fast)  # fail unless the fast one is
#   target_link_libraries(app PRIVATE hankel_transf::hankel_transf
#                                     hankel_transf::hankel_transf_fast)
#
#   cc app.c $(pkg-config --cflags --libs hankel_transf hankel_transf_fast)
#
# One .pc file per library: they are independent (the fast one does not link
# the direct sum), so a program asks for exactly the ones it calls. GSL is a
# private dependency of libhankel_transf.so, recorded as DT_NEEDED; neither the
# CMake package nor the .pc files make consumers look for it.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(HANKEL_TRANSF_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/hankel_transf CACHE STRING
    "Where the CMake package files go, relative to the prefix")
mark_as_advanced(HANKEL_TRANSF_CMAKE_DIR)

set(_ht_libs hankel_transf)
set(_ht_headers ${PROJECT_SOURCE_DIR}/include/hankel_transf.h)
if(TARGET hankel_transf_fast)
  list(APPEND _ht_libs hankel_transf_fast)
  if(EXISTS ${PROJECT_SOURCE_DIR}/include/hankel_transf_fast.h)
    list(APPEND _ht_headers ${PROJECT_SOURCE_DIR}/include/hankel_transf_fast.h)
  endif()
endif()

install(TARGETS ${_ht_libs} EXPORT hankel_transfTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          COMPONENT Runtime NAMELINK_COMPONENT Development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${_ht_headers}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

if(TARGET hankel-transf)
  install(TARGETS hankel-transf RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/hankel-transf.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Runtime)

# --- CMake package ----------------------------------------------------------
install(EXPORT hankel_transfTargets
  NAMESPACE hankel_transf::
  FILE hankel_transfTargets.cmake
  DESTINATION ${HANKEL_TRANSF_CMAKE_DIR}
  COMPONENT Development)
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/hankel_transfConfig.cmake.in
  ${PROJECT_BINARY_DIR}/hankel_transfConfig.cmake
  INSTALL_DESTINATION ${HANKEL_TRANSF_CMAKE_DIR})
# The C ABI is only extended within a major version.
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/hankel_transfConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/hankel_transfConfig.cmake
  ${PROJECT_BINARY_DIR}/hankel_transfConfigVersion.cmake
  DESTINATION ${HANKEL_TRANSF_CMAKE_DIR} COMPONENT Development)

# --- pkg-config -------------------------------------------------------------
# Written at install time so that the prefix is the one actually installed to
# (cmake --install --prefix overrides the configured CMAKE_INSTALL_PREFIX).
set(_ht_pc_dir ${PROJECT_BINARY_DIR}/pkgconfig)
set(_ht_pc_files "")
foreach(lib IN LISTS _ht_libs)
  if(lib STREQUAL "hankel_transf")
    set(_desc "Isotropic spectral kernel and its diagonal grid transform (direct sum)")
  else()
    set(_desc "Isotropic spectral kernel, diagonal grid transform: fast method")
  endif()
  file(WRITE ${_ht_pc_dir}/${lib}.pc.in
"prefix=@PC_PREFIX@
libdir=@PC_LIBDIR@
includedir=@PC_INCLUDEDIR@

Name: ${lib}
Description: ${_desc}
Version: ${PROJECT_VERSION}
Libs: -L\${libdir} -l${lib}
Cflags: -I\${includedir}
")
  list(APPEND _ht_pc_files ${_ht_pc_dir}/${lib}.pc)
endforeach()
install(CODE "
  set(PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  foreach(pair \"LIBDIR;${CMAKE_INSTALL_LIBDIR}\" \"INCLUDEDIR;${CMAKE_INSTALL_INCLUDEDIR}\")
    list(GET pair 0 kind)
    list(GET pair 1 dir)
    if(IS_ABSOLUTE \"\${dir}\")
      set(PC_\${kind} \"\${dir}\")
    else()
      set(PC_\${kind} \"\\\${prefix}/\${dir}\")
    endif()
  endforeach()
  foreach(lib ${_ht_libs})
    configure_file(\"${_ht_pc_dir}/\${lib}.pc.in\" \"${_ht_pc_dir}/\${lib}.pc\" @ONLY)
  endforeach()
" COMPONENT Development)
install(FILES ${_ht_pc_files}
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
