# The zip directory reader, over any bytes.
set(kvx_archive_dir ${PROJECT_SOURCE_DIR}/src/foundation/archive)
kvx_add_fuzzer(zip_directory_fuzzer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ZipDirectoryFuzzer.cpp ${kvx_archive_dir}/ZipTypes.cpp
            ${kvx_archive_dir}/ZipEndRecord.cpp ${kvx_archive_dir}/ZipCentralDirectory.cpp
    HEADERS ${kvx_archive_dir}/ZipTypes.h ${kvx_archive_dir}/ZipEndRecord.h ${kvx_archive_dir}/ZipCentralDirectory.h
            ${kvx_archive_dir}/LittleEndian.h
    RUNS 200000)
