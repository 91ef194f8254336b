# What a test needs to run the libraries inside an interpreter (R, Python).
# Included by the host test folders; sets, in the including scope:
#
#   HANKEL_TRANSF_TEST_PYTHON      the Python interpreter for host tests (empty: none)
#   HANKEL_TRANSF_HOST_ENV         ENVIRONMENT entries an interpreter needs to load
#                                  a sanitized library (empty when not sanitized)
#   HANKEL_TRANSF_HOST_DISABLED    TRUE when interpreters cannot load it at all
#
# Interpreter: -DPython3_EXECUTABLE=... if given, else the distribution's own
# (it carries the distribution's numpy, pytest, setuptools, scipy, matplotlib;
# a pyenv or venv shim earlier on PATH often does not), else whatever CMake's
# Python3 lookup finds.
if(Python3_EXECUTABLE)
  set(HANKEL_TRANSF_TEST_PYTHON ${Python3_EXECUTABLE})
elseif(EXISTS /usr/bin/python3)
  set(HANKEL_TRANSF_TEST_PYTHON /usr/bin/python3)
else()
  find_package(Python3 COMPONENTS Interpreter)
  set(HANKEL_TRANSF_TEST_PYTHON ${Python3_EXECUTABLE})
endif()

# A sanitized library can only be loaded into an unsanitized interpreter with
# the ASan runtime preloaded; interpreters' own allocations are not ours to
# leak-check, and a request the allocator cannot serve must come back NULL
# (as from malloc) rather than end the process. ThreadSanitizer cannot be
# brought into a running interpreter: there host tests are disabled.
set(HANKEL_TRANSF_HOST_ENV "")
set(HANKEL_TRANSF_HOST_DISABLED FALSE)
if(HANKEL_TRANSF_SANITIZE MATCHES "thread|memory")
  set(HANKEL_TRANSF_HOST_DISABLED TRUE)
elseif(HANKEL_TRANSF_SANITIZE MATCHES "address")
  if(CMAKE_C_COMPILER_ID STREQUAL "Clang")
    set(_asan_name libclang_rt.asan-${CMAKE_SYSTEM_PROCESSOR}.so)
  else()
    set(_asan_name libasan.so)
  endif()
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=${_asan_name}
                  OUTPUT_VARIABLE _asan_rt OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${_asan_rt}" AND EXISTS "${_asan_rt}")
    set(HANKEL_TRANSF_HOST_ENV "LD_PRELOAD=${_asan_rt}"
        "ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1")
  else()
    message(STATUS "ASan runtime not found: host tests in interpreters disabled")
    set(HANKEL_TRANSF_HOST_DISABLED TRUE)
  endif()
endif()
