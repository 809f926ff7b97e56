# A libFuzzer target over the resource container reader and the two key-value parsers. It needs
# clang, while the host build may use gcc, so it is compiled by its own command and run briefly.
if(KVX_WINDOWS)
    return()
endif()
find_program(KVX_CLANGXX clang++)
if(NOT KVX_CLANGXX)
    message(STATUS "clang++ not found: the configuration fuzzer is not built")
    return()
endif()

set(kvx_config_fuzz_sources
    ${CMAKE_CURRENT_LIST_DIR}/ConfigFuzzer.cpp
    ${PROJECT_SOURCE_DIR}/src/framework/config/KVPs.cpp
    ${PROJECT_SOURCE_DIR}/src/framework/config/RccContainer.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/Assert.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/Logging.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/Result.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/SafeFormat.cpp
)
set(kvx_config_fuzzer ${CMAKE_CURRENT_BINARY_DIR}/fuzz/config_fuzzer)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/fuzz)
add_custom_command(
    OUTPUT ${kvx_config_fuzzer}
    COMMAND ${KVX_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
            -DFMT_HEADER_ONLY -I${PROJECT_SOURCE_DIR}/src -isystem ${KVX_THIRD_PARTY_INCLUDE}
            -I${CMAKE_BINARY_DIR}/generated ${kvx_config_fuzz_sources} -lz -o ${kvx_config_fuzzer}
    DEPENDS ${kvx_config_fuzz_sources}
            ${PROJECT_SOURCE_DIR}/src/framework/config/KVPs.h
            ${PROJECT_SOURCE_DIR}/src/framework/config/RccContainer.h
    COMMENT "Building the configuration fuzzer with clang++"
    VERBATIM)
add_custom_target(config_fuzzer ALL DEPENDS ${kvx_config_fuzzer})
# Seeded with the build's real container so the fuzzer starts from valid structure.
set(kvx_config_corpus ${CMAKE_CURRENT_BINARY_DIR}/fuzz/config_corpus)
add_test(NAME config_fuzz
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
            sh -c "mkdir -p '${kvx_config_corpus}' && cp '${KVX_RCC_FILE}' '${PROJECT_SOURCE_DIR}/config/tamrin.cfg' '${kvx_config_corpus}/' && '${kvx_config_fuzzer}' -runs=200000 -seed=1 '${kvx_config_corpus}'")
