# Compares the defined dynamic symbols of LIBRARY with the global names of the version script
# MAP: both must be exactly the same set.
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE nm_out
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${nm_out}")
set(exported)
foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
    string(REGEX REPLACE "@.*$" "" name "${name}")
    list(APPEND exported ${name})
endforeach()
list(SORT exported)

file(READ ${MAP} map)
string(REGEX MATCH "global:([^}]*)local:" _ "${map}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" expected "${CMAKE_MATCH_1}")
list(SORT expected)
list(LENGTH expected count)

if(NOT exported STREQUAL expected)
    message(FATAL_ERROR "exports differ.\nexpected (${count}): ${expected}\nfound: ${exported}")
endif()
if(NOT count EQUAL 31)
    message(FATAL_ERROR "the version script lists ${count} names instead of 31")
endif()
message(STATUS "exactly the ${count} exports")
