# Test executables of src/foundation/archive (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
kvx_add_test_exe(zip_reader_tests
    SOURCES
        foundation/archive/ZipCentralDirectoryTest.cpp
    LIBS kvx_foundation kvx_zip_writer
)
include(${CMAKE_CURRENT_LIST_DIR}/fuzz.cmake)
