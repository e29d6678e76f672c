# The fuzzing build: clang's libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer.
#
# Everything is compiled with coverage instrumentation, the applet and the virtual board
# included, so that the fuzzers learn from the code they reach through the applet's exports.
# The sanitizer runtime is the shared one: the applet and the virtual board's libraries are
# linked with -z defs, which a static runtime (resolved only by the final program) cannot
# satisfy. Programs find that runtime through a run path to clang's own library folder.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "PELLVANE_FUZZ needs clang (libFuzzer); configure with the fuzz preset")
endif()

# The function-type check is left out: host functions are bound through the dynamic loader and
# called through the applet's own C declarations, whose handle parameter is void* where the
# host library's definition names its own record type; the calling convention is the same.
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=function
                    -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined -shared-libsan)

execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libclang_rt.asan-x86_64.so
                OUTPUT_VARIABLE _pellvane_asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(PELLVANE_SANITIZER_RUNTIME_DIR "${_pellvane_asan_runtime}" DIRECTORY)
if(NOT EXISTS "${_pellvane_asan_runtime}")
    message(FATAL_ERROR "clang's shared AddressSanitizer runtime is missing "
                        "(Debian: libclang-rt-dev)")
endif()
add_link_options("-Wl,-rpath,${PELLVANE_SANITIZER_RUNTIME_DIR}")
