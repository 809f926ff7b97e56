# Plain-mode folder swap with rollback, and symlink mode, on real folders with injected faults.
if(KVX_WINDOWS)
    kvx_add_test_exe(swap_windows_tests
        SOURCES
            destager/FolderSwapTest.cpp
            destager/SymlinkModeTest.cpp
        LIBS kvx_fs_test_support
    )
endif()
