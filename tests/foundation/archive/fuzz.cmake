# A libFuzzer target over the directory reader. It needs clang, while the host build may use gcc,
# so the fuzzer is compiled by its own command with clang++ and run briefly as a test.
if(KVX_WINDOWS)
    return()
endif()
find_program(KVX_CLANGXX clang++)
if(KVX_CLANGXX)
    set(kvx_zip_fuzzer_default ON)
else()
    set(kvx_zip_fuzzer_default OFF)
endif()
option(KVX_ZIP_FUZZER "Build the zip directory fuzzer (needs clang++ with libFuzzer)" ${kvx_zip_fuzzer_default})
if(NOT KVX_ZIP_FUZZER)
    return()
endif()
if(NOT KVX_CLANGXX)
    message(FATAL_ERROR "KVX_ZIP_FUZZER needs clang++")
endif()

set(kvx_fuzz_sources
    ${CMAKE_CURRENT_LIST_DIR}/ZipDirectoryFuzzer.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/archive/ZipTypes.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/archive/ZipEndRecord.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/archive/ZipCentralDirectory.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/Assert.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/Logging.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/Result.cpp
    ${PROJECT_SOURCE_DIR}/src/foundation/SafeFormat.cpp
)
set(kvx_fuzzer ${CMAKE_CURRENT_BINARY_DIR}/fuzz/zip_directory_fuzzer)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/fuzz)
add_custom_command(
    OUTPUT ${kvx_fuzzer}
    COMMAND ${KVX_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
            -DFMT_HEADER_ONLY -I${PROJECT_SOURCE_DIR}/src -I${PROJECT_SOURCE_DIR}/tests
            -isystem ${KVX_THIRD_PARTY_INCLUDE} -I${CMAKE_BINARY_DIR}/generated
            ${kvx_fuzz_sources} -o ${kvx_fuzzer}
    DEPENDS ${kvx_fuzz_sources}
            ${PROJECT_SOURCE_DIR}/src/foundation/archive/ZipTypes.h
            ${PROJECT_SOURCE_DIR}/src/foundation/archive/ZipEndRecord.h
            ${PROJECT_SOURCE_DIR}/src/foundation/archive/ZipCentralDirectory.h
            ${PROJECT_SOURCE_DIR}/src/foundation/archive/LittleEndian.h
    COMMENT "Building the zip directory fuzzer with clang++"
    VERBATIM)
add_custom_target(zip_directory_fuzzer ALL DEPENDS ${kvx_fuzzer})
# A short, bounded run: a fixed number of inputs, no time limit in real seconds.
add_test(NAME zip_directory_fuzz COMMAND ${kvx_fuzzer} -runs=200000 -seed=1)
