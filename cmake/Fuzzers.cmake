# libFuzzer targets over the readers of untrusted bytes, one each so each can be run alone. They
# need clang while the host build may use gcc, so each is compiled by its own command and run
# briefly as a test (scripts/fuzz runs them for longer). Host builds only.
find_program(KVX_CLANGXX clang++)
if(NOT KVX_CLANGXX)
    message(STATUS "clang++ not found: the fuzzers are not built")
endif()

set(KVX_FUZZ_COMMON_SOURCES
    ${PROJECT_SOURCE_DIR}/src/foundation/Assert.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/Logging.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/Result.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/SafeFormat.cpp
)

# kvx_add_fuzzer(<target> SOURCES <files> HEADERS <dependencies> RUNS <n> [SEEDS <files>] [LIBS <flags>])
# The smoke test is <target> with "_fuzzer" turned into "_fuzz": a fixed number of inputs, from the
# seeds when there are any.
function(kvx_add_fuzzer target)
    if(KVX_WINDOWS OR NOT KVX_CLANGXX)
        return()
    endif()
    cmake_parse_arguments(arg "" "RUNS" "SOURCES;HEADERS;SEEDS;LIBS" ${ARGN})
    set(sources ${arg_SOURCES} ${KVX_FUZZ_COMMON_SOURCES})
    set(folder ${CMAKE_CURRENT_BINARY_DIR}/fuzz)
    set(binary ${folder}/${target})
    file(MAKE_DIRECTORY ${folder})
    add_custom_command(
        OUTPUT ${binary}
        COMMAND ${KVX_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined
                -fno-sanitize-recover=undefined -DFMT_HEADER_ONLY -I${PROJECT_SOURCE_DIR}/src
                -I${PROJECT_SOURCE_DIR}/tests -isystem ${KVX_THIRD_PARTY_INCLUDE} -I${CMAKE_BINARY_DIR}/generated
                ${sources} ${arg_LIBS} -o ${binary}
        DEPENDS ${sources} ${arg_HEADERS}
        COMMENT "Building ${target} with clang++"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${binary})
    string(REPLACE "_fuzzer" "_fuzz" test_name ${target})
    if(NOT arg_SEEDS)
        add_test(NAME ${test_name} COMMAND ${binary} -runs=${arg_RUNS} -seed=1)
        return()
    endif()
    set(corpus ${folder}/${target}_corpus)
    list(TRANSFORM arg_SEEDS REPLACE "(.+)" "'\\1'" OUTPUT_VARIABLE seeds)
    string(JOIN " " seeds ${seeds})
    add_test(NAME ${test_name}
        COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                sh -c "mkdir -p '${corpus}' && cp ${seeds} '${corpus}/' && '${binary}' -runs=${arg_RUNS} -seed=1 '${corpus}'")
endfunction()
