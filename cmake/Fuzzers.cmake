# libFuzzer targets over the readers of untrusted bytes, one each so each can be run alone. They
# need clang while the host build may use gcc, so their objects are built by commands of their own,
# each source once however many fuzzers share it, and each fuzzer is run briefly as a test
# (scripts/fuzz runs them for longer). Host builds only.
find_program(KVX_CLANGXX clang++)
if(NOT KVX_CLANGXX)
    message(STATUS "clang++ not found: the fuzzers are not built")
endif()

set(KVX_FUZZ_COMMON_SOURCES
    ${PROJECT_SOURCE_DIR}/src/foundation/Assert.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/Logging.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/Result.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/SafeFormat.cpp
    ${PROJECT_SOURCE_DIR}/third_party/fmt/fmt.cpp
)
set(KVX_FUZZ_FLAGS -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)

# kvx_fuzz_object(<source> <variable>) sets <variable> to the instrumented object of <source>,
# adding its command the first time a fuzzer asks for it. Its headers come from the compiler's
# dependency file.
function(kvx_fuzz_object source out)
    file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${source})
    set(object ${CMAKE_BINARY_DIR}/fuzz-objects/${relative}.o)
    get_property(known GLOBAL PROPERTY KVX_FUZZ_OBJECTS)
    if(NOT object IN_LIST known)
        set_property(GLOBAL APPEND PROPERTY KVX_FUZZ_OBJECTS ${object})
        get_filename_component(folder ${object} DIRECTORY)
        file(MAKE_DIRECTORY ${folder})
        add_custom_command(
            OUTPUT ${object}
            COMMAND ${KVX_CLANGXX} ${KVX_FUZZ_FLAGS} -I${PROJECT_SOURCE_DIR}/src -I${PROJECT_SOURCE_DIR}/tests
                    -isystem ${KVX_THIRD_PARTY_INCLUDE} -I${CMAKE_BINARY_DIR}/generated
                    -MD -MF ${object}.d -c ${source} -o ${object}
            DEPENDS ${source}
            DEPFILE ${object}.d
            COMMENT "Building ${relative} for the fuzzers with clang++"
            VERBATIM)
    endif()
    set(${out} ${object} PARENT_SCOPE)
endfunction()

# kvx_add_fuzzer(<target> SOURCES <files> RUNS <n> [SEEDS <files>] [LIBS <flags>])
# The smoke test is <target> with "_fuzzer" turned into "_fuzz": a fixed number of inputs, from the
# seeds when there are any.
function(kvx_add_fuzzer target)
    if(KVX_WINDOWS OR NOT KVX_CLANGXX)
        return()
    endif()
    cmake_parse_arguments(arg "" "RUNS" "SOURCES;SEEDS;LIBS" ${ARGN})
    set(objects)
    foreach(source IN LISTS arg_SOURCES KVX_FUZZ_COMMON_SOURCES)
        kvx_fuzz_object(${source} object)
        list(APPEND objects ${object})
    endforeach()
    set(folder ${CMAKE_CURRENT_BINARY_DIR}/fuzz)
    set(binary ${folder}/${target})
    file(MAKE_DIRECTORY ${folder})
    add_custom_command(
        OUTPUT ${binary}
        COMMAND ${KVX_CLANGXX} ${KVX_FUZZ_FLAGS} ${objects} ${arg_LIBS} -o ${binary}
        DEPENDS ${objects}
        COMMENT "Linking ${target} with clang++"
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
