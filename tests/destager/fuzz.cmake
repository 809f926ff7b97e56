# A libFuzzer target over the reader of "machine.destageErrors". It needs clang, while the host
# build may use gcc, so it is compiled by its own command and run briefly as a test (scripts/fuzz
# runs it for longer).
if(KVX_WINDOWS)
    return()
endif()
find_program(KVX_CLANGXX clang++)
if(NOT KVX_CLANGXX)
    message(STATUS "clang++ not found: the error record fuzzer is not built")
    return()
endif()

set(kvx_errors_fuzz_sources
    ${CMAKE_CURRENT_LIST_DIR}/TelemetryDecodingFuzzer.cpp
    ${PROJECT_SOURCE_DIR}/src/destager/TelemetryRecordDecoding.cpp
    ${PROJECT_SOURCE_DIR}/src/destager/TelemetryRecord.cpp
    ${PROJECT_SOURCE_DIR}/src/destager/ErrorKinds.cpp
)
set(kvx_errors_fuzzer ${CMAKE_CURRENT_BINARY_DIR}/fuzz/destage_errors_fuzzer)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/fuzz)
add_custom_command(
    OUTPUT ${kvx_errors_fuzzer}
    COMMAND ${KVX_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
            -DFMT_HEADER_ONLY -I${PROJECT_SOURCE_DIR}/src -isystem ${KVX_THIRD_PARTY_INCLUDE}
            ${kvx_errors_fuzz_sources} -o ${kvx_errors_fuzzer}
    DEPENDS ${kvx_errors_fuzz_sources}
            ${PROJECT_SOURCE_DIR}/src/destager/TelemetryRecordDecoding.h
            ${PROJECT_SOURCE_DIR}/src/destager/TelemetryRecord.h
            ${PROJECT_SOURCE_DIR}/src/destager/ErrorKinds.h
    COMMENT "Building the error record fuzzer with clang++"
    VERBATIM)
add_custom_target(destage_errors_fuzzer ALL DEPENDS ${kvx_errors_fuzzer})
# A bounded smoke run from a real two-record value: a fixed number of inputs, no time limit.
set(kvx_errors_corpus ${CMAKE_CURRENT_BINARY_DIR}/fuzz/destage_errors_fuzzer_corpus)
add_test(NAME destage_errors_fuzz
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
            sh -c "mkdir -p '${kvx_errors_corpus}' && cp '${CMAKE_CURRENT_LIST_DIR}/destage-errors.seed' '${kvx_errors_corpus}/' && '${kvx_errors_fuzzer}' -runs=30000 -seed=1 '${kvx_errors_corpus}'")
