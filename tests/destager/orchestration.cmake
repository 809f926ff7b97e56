# Update orchestration and the repair state.
if(KVX_WINDOWS)
    kvx_add_test_exe(orchestration_windows_tests
        SOURCES
            destager/RepairStateTest.cpp
            destager/UpdateOrchestrationTest.cpp
        LIBS kvx_fs_test_support
    )
endif()
