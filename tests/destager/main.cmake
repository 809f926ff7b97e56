# The destage context and the main flow's pieces.
if(KVX_WINDOWS)
    kvx_add_test_exe(destager_main_windows_tests
        SOURCES destager/DestageContextTest.cpp
        LIBS kvx_windows
    )
endif()
