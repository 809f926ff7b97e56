# The zip directory reader, over any bytes.
set(kvx_archive_dir ${PROJECT_SOURCE_DIR}/src/foundation/archive)
kvx_add_fuzzer(zip_directory_fuzzer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ZipDirectoryFuzzer.cpp ${kvx_archive_dir}/ZipTypes.cpp
            ${kvx_archive_dir}/ZipEndRecord.cpp ${kvx_archive_dir}/ZipCentralDirectory.cpp
    RUNS 200000)
