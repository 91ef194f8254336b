# Driven by ctest (see CMakeLists.txt here):
#   cmake -DMODE=install|cmake|pkgconfig -DBUILD_DIR=... -DWORK_DIR=... [...] -P install_test.cmake
#
#   install    cmake --install BUILD_DIR into WORK_DIR/prefix and check the layout
#   cmake      build consumer/ with find_package(hankel_transf) and run it
#   pkgconfig  compile consumer/consumer.c with `pkg-config --cflags --libs` and run it

set(prefix "${WORK_DIR}/prefix")
set(libdir "${prefix}/${LIBDIR}")
if(IS_ABSOLUTE "${LIBDIR}")
  message(FATAL_ERROR "absolute CMAKE_INSTALL_LIBDIR (${LIBDIR}) cannot be redirected to a test prefix")
endif()
if(SANITIZE)
  # a sanitized library needs a sanitized program around it
  set(san_flags "-fsanitize=${SANITIZE}")
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

function(expect_file path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endfunction()

# libX.so -> libX.so.MAJOR -> libX.so.VERSION, the last one a real file
function(expect_versioned_library name)
  set(base "${libdir}/lib${name}.so")
  foreach(link "${base}" "${base}.${VERSION_MAJOR}")
    if(NOT IS_SYMLINK "${link}")
      message(FATAL_ERROR "${link} is missing or not a symbolic link")
    endif()
  endforeach()
  file(READ_SYMLINK "${base}" target)
  if(NOT target STREQUAL "lib${name}.so.${VERSION_MAJOR}")
    message(FATAL_ERROR "${base} -> ${target}, want the SONAME link lib${name}.so.${VERSION_MAJOR}")
  endif()
  file(READ_SYMLINK "${base}.${VERSION_MAJOR}" target)
  if(NOT target STREQUAL "lib${name}.so.${VERSION}")
    message(FATAL_ERROR "${base}.${VERSION_MAJOR} -> ${target}, want lib${name}.so.${VERSION}")
  endif()
  expect_file("${base}.${VERSION}")
endfunction()

if(MODE STREQUAL "install")
  file(REMOVE_RECURSE "${WORK_DIR}")
  set(config_arg "")
  if(CONFIG)
    set(config_arg --config "${CONFIG}")
  endif()
  run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}" ${config_arg})
  set(libs hankel_transf)
  set(headers hankel_transf.h)
  if(WITH_FAST)
    list(APPEND libs hankel_transf_fast)
    list(APPEND headers hankel_transf_fast.h)
  endif()
  foreach(lib IN LISTS libs)
    expect_versioned_library(${lib})
    expect_file("${libdir}/pkgconfig/${lib}.pc")
  endforeach()
  foreach(h IN LISTS headers)
    expect_file("${prefix}/${INCLUDEDIR}/${h}")
  endforeach()
  foreach(f hankel_transfConfig.cmake hankel_transfConfigVersion.cmake hankel_transfTargets.cmake)
    expect_file("${libdir}/cmake/hankel_transf/${f}")
  endforeach()
  if(WITH_TOOL)
    expect_file("${prefix}/${BINDIR}/hankel-transf")
    expect_file("${prefix}/${MANDIR}/man1/hankel-transf.1")
  endif()
  # The libraries' GSL dependency is private: nothing a consumer reads may name it.
  file(GLOB consumer_files "${libdir}/cmake/hankel_transf/*.cmake" "${libdir}/pkgconfig/*.pc")
  foreach(f IN LISTS consumer_files)
    file(STRINGS "${f}" gsl_lines REGEX "[Gg][Ss][Ll]")
    if(gsl_lines)
      message(FATAL_ERROR "${f} exposes GSL to consumers: ${gsl_lines}")
    endif()
  endforeach()

elseif(MODE STREQUAL "cmake")
  set(bin "${WORK_DIR}/consumer-cmake")
  file(REMOVE_RECURSE "${bin}")
  # GSL made unfindable: the package must not need it.
  run("${CMAKE_COMMAND}" -S "${CONSUMER_DIR}" -B "${bin}" -G "${GENERATOR}"
      "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_C_COMPILER=${C_COMPILER}"
      "-DCMAKE_BUILD_TYPE=Release" "-DWITH_FAST=${WITH_FAST}"
      "-DCMAKE_DISABLE_FIND_PACKAGE_GSL=TRUE"
      "-DCMAKE_C_FLAGS=${san_flags}" "-DCMAKE_EXE_LINKER_FLAGS=${san_flags}")
  run("${CMAKE_COMMAND}" --build "${bin}" --config Release)
  file(GLOB_RECURSE exe LIST_DIRECTORIES false "${bin}/consumer" "${bin}/*/consumer")
  list(GET exe 0 exe)
  # no LD_LIBRARY_PATH: the build-tree RUNPATH to the imported location must do
  run("${exe}")
  message(STATUS "find_package consumer: ${run_output}")

  # A major version this package does not offer must be refused.
  math(EXPR next_major "${VERSION_MAJOR} + 1")
  file(WRITE "${WORK_DIR}/too-new/CMakeLists.txt"
    "cmake_minimum_required(VERSION 3.18)\nproject(too_new NONE)\n"
    "find_package(hankel_transf ${next_major}.0 REQUIRED)\n")
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${WORK_DIR}/too-new" -B "${WORK_DIR}/too-new/b"
                          "-DCMAKE_PREFIX_PATH=${prefix}"
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(rc EQUAL 0)
    message(FATAL_ERROR "find_package(hankel_transf ${next_major}.0) accepted version ${VERSION}")
  endif()

elseif(MODE STREQUAL "pkgconfig")
  set(bin "${WORK_DIR}/consumer-pkgconfig")
  file(REMOVE_RECURSE "${bin}")
  file(MAKE_DIRECTORY "${bin}")
  set(modules hankel_transf)
  set(defs "")
  if(WITH_FAST)
    list(APPEND modules hankel_transf_fast)
    set(defs -DWITH_FAST)
  endif()
  # only the test prefix is searched
  set(pc_env "${CMAKE_COMMAND}" -E env --unset=PKG_CONFIG_PATH
             "PKG_CONFIG_LIBDIR=${libdir}/pkgconfig")
  run(${pc_env} "${PKG_CONFIG}" --modversion ${modules})
  string(STRIP "${run_output}" versions)
  string(REPLACE "\n" ";" versions "${versions}")
  foreach(v IN LISTS versions)
    if(NOT v STREQUAL VERSION)
      message(FATAL_ERROR "pkg-config --modversion gave ${v}, want ${VERSION}")
    endif()
  endforeach()
  run(${pc_env} "${PKG_CONFIG}" --cflags --libs ${modules})
  string(STRIP "${run_output}" flags)
  message(STATUS "pkg-config --cflags --libs ${modules}: ${flags}")
  separate_arguments(flags UNIX_COMMAND "${flags}")
  separate_arguments(san_list UNIX_COMMAND "${san_flags}")
  run("${C_COMPILER}" ${san_list} ${defs} "${CONSUMER_DIR}/consumer.c" ${flags} -lm
      -o "${bin}/consumer")
  run("${CMAKE_COMMAND}" -E env "LD_LIBRARY_PATH=${libdir}" "${bin}/consumer")
  message(STATUS "pkg-config consumer: ${run_output}")

else()
  message(FATAL_ERROR "MODE must be install, cmake or pkgconfig, not '${MODE}'")
endif()
