# Test executables of src/foundation/archive (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
kvx_add_test_exe(zip_reader_tests
    SOURCES
        foundation/archive/ZipCentralDirectoryTest.cpp
        foundation/archive/ZipTestArchive.cpp
    LIBS kvx_foundation
)
include(${CMAKE_CURRENT_LIST_DIR}/fuzz.cmake)
