# cmake -DNM=nm -DLIB=path -DEXPECTED="a;b" -P check_exports.cmake
# Fails unless the dynamic symbol table defines exactly EXPECTED.
execute_process(COMMAND ${NM} -D --defined-only ${LIB}
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
set(found "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] +" "" sym "${line}")
  # version-script tags such as "GLIBC_2.2.5" would be absolute symbols; we have none
  list(APPEND found "${sym}")
endforeach()
list(SORT found)
set(want ${EXPECTED})
list(SORT want)
if(NOT "${found}" STREQUAL "${want}")
  message(FATAL_ERROR "exported symbols of ${LIB}:\n  found: ${found}\n  want:  ${want}")
endif()
message(STATUS "exports of ${LIB}: ${found}")
