# The parameter declaration (src/applet/parameters/parameters.toml) and what the build
# generates from it: the public header <pellvane/parameters.h> in build/<preset>/include and
# the applet's tables. paramgen.py runs on the build machine, for the Windows cross build too.
find_program(PELLVANE_PYTHON NAMES python3 REQUIRED
             DOC "Python 3.11 or later of the build machine, for the generators the build runs")

set(PELLVANE_PARAMETER_DECLARATION ${CMAKE_SOURCE_DIR}/src/applet/parameters/parameters.toml)
set(PELLVANE_PARAMGEN ${CMAKE_SOURCE_DIR}/src/applet/parameters/paramgen.py)
set(PELLVANE_GENERATED_INCLUDE_DIR ${CMAKE_BINARY_DIR}/include)
set(PELLVANE_GENERATED_TABLES_DIR ${CMAKE_BINARY_DIR}/generated/parameters)
set(_parameters_header ${PELLVANE_GENERATED_INCLUDE_DIR}/pellvane/parameters.h)
set(_parameter_tables ${PELLVANE_GENERATED_TABLES_DIR}/ParameterData.inc)
set(_error_codes ${PELLVANE_GENERATED_TABLES_DIR}/ErrorCodes.inc)
file(MAKE_DIRECTORY ${PELLVANE_GENERATED_INCLUDE_DIR}/pellvane ${PELLVANE_GENERATED_TABLES_DIR})

add_custom_command(
    OUTPUT ${_parameters_header} ${_parameter_tables} ${_error_codes}
    COMMAND ${PELLVANE_PYTHON} ${PELLVANE_PARAMGEN} ${PELLVANE_PARAMETER_DECLARATION}
            --header ${_parameters_header} --tables ${_parameter_tables}
            --errors ${_error_codes}
    DEPENDS ${PELLVANE_PARAMETER_DECLARATION} ${PELLVANE_PARAMGEN}
    COMMENT "Generating the parameter header and tables from parameters.toml"
    VERBATIM)
add_custom_target(pellvane_parameters_generated
                  DEPENDS ${_parameters_header} ${_parameter_tables} ${_error_codes})

# Everything that uses the public headers (the applet, the virtual board's users, tests, tools,
# benchmarks, fuzzers) links pellvane_interface and so finds <pellvane/parameters.h> too.
target_include_directories(pellvane_interface INTERFACE ${PELLVANE_GENERATED_INCLUDE_DIR})
add_dependencies(pellvane_interface pellvane_parameters_generated)
