# libFuzzer targets, one per reader of untrusted bytes so each can be run alone: the resource
# container, the configuration-file parser and the machine.ini parser. They need clang, while the
# host build may use gcc, so each is compiled by its own command and run briefly as a test
# (scripts/fuzz runs them for longer).
if(KVX_WINDOWS)
    return()
endif()
find_program(KVX_CLANGXX clang++)
if(NOT KVX_CLANGXX)
    message(STATUS "clang++ not found: the configuration fuzzers are not built")
    return()
endif()

set(kvx_config_fuzz_common
    ${PROJECT_SOURCE_DIR}/src/foundation/Assert.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/Logging.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/Result.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/SafeFormat.cpp
)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/fuzz)

# kvx_add_config_fuzzer(<target> SOURCES <files> HEADERS <dependencies> SEEDS <files> RUNS <n> [LIBS <flags>])
function(kvx_add_config_fuzzer target)
    cmake_parse_arguments(arg "" "RUNS" "SOURCES;HEADERS;SEEDS;LIBS" ${ARGN})
    set(sources ${arg_SOURCES} ${kvx_config_fuzz_common})
    set(binary ${CMAKE_CURRENT_BINARY_DIR}/fuzz/${target})
    add_custom_command(
        OUTPUT ${binary}
        COMMAND ${KVX_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined
                -fno-sanitize-recover=undefined -DFMT_HEADER_ONLY -I${PROJECT_SOURCE_DIR}/src
                -isystem ${KVX_THIRD_PARTY_INCLUDE} -I${CMAKE_BINARY_DIR}/generated ${sources} ${arg_LIBS}
                -o ${binary}
        DEPENDS ${sources} ${arg_HEADERS}
        COMMENT "Building ${target} with clang++"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${binary})
    # A bounded smoke run: a fixed number of inputs from the seeds, a few seconds at most.
    string(REPLACE "_fuzzer" "_fuzz" test_name ${target})
    set(corpus ${CMAKE_CURRENT_BINARY_DIR}/fuzz/${target}_corpus)
    list(TRANSFORM arg_SEEDS REPLACE "(.+)" "'\\1'" OUTPUT_VARIABLE seeds)
    string(JOIN " " seeds ${seeds})
    add_test(NAME ${test_name}
        COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                sh -c "mkdir -p '${corpus}' && cp ${seeds} '${corpus}/' && '${binary}' -runs=${arg_RUNS} -seed=1 '${corpus}'")
endfunction()

set(kvx_config_dir ${PROJECT_SOURCE_DIR}/src/framework/config)
kvx_add_config_fuzzer(rcc_container_fuzzer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/RccContainerFuzzer.cpp ${kvx_config_dir}/RccContainer.cpp
    HEADERS ${kvx_config_dir}/RccContainer.h
    SEEDS ${KVX_RCC_FILE}
    RUNS 30000
    LIBS -lz)
add_dependencies(rcc_container_fuzzer kvx_resources)
kvx_add_config_fuzzer(kvps_toml_fuzzer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/KvpsTomlFuzzer.cpp ${kvx_config_dir}/KVPs.cpp ${kvx_config_dir}/ConfigSystem.cpp
    HEADERS ${kvx_config_dir}/KVPs.h ${kvx_config_dir}/ConfigSystem.h ${CMAKE_CURRENT_LIST_DIR}/FuzzInvariants.h
    SEEDS ${PROJECT_SOURCE_DIR}/config/tamrin.cfg ${PROJECT_SOURCE_DIR}/config/KorvDestager.cfg
    RUNS 30000)
kvx_add_config_fuzzer(kvps_ini_fuzzer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/KvpsIniFuzzer.cpp ${kvx_config_dir}/KVPs.cpp ${kvx_config_dir}/ConfigSystem.cpp
    HEADERS ${kvx_config_dir}/KVPs.h ${kvx_config_dir}/ConfigSystem.h ${CMAKE_CURRENT_LIST_DIR}/FuzzInvariants.h
    SEEDS ${PROJECT_SOURCE_DIR}/config/tamrin.cfg
    RUNS 30000)
