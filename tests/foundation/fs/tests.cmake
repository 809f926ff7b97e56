# Test executables of src/foundation/fs (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
if(KVX_WINDOWS)
    # Filesystem stand-ins and temporary folders for any Windows test executable.
    add_library(kvx_fs_test_support STATIC
        support/FakeSymlinkFilesystem.cpp
        support/TempFolder.cpp
    )
    kvx_target_defaults(kvx_fs_test_support)
    target_include_directories(kvx_fs_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR}/../..)
    target_link_libraries(kvx_fs_test_support PUBLIC kvx_foundation kvx_test_support)

    kvx_add_test_exe(fs_windows_tests
        SOURCES
            foundation/fs/FilesystemTest.cpp
        LIBS kvx_fs_test_support
    )
endif()
