# Test executables of src/framework (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).

include(${CMAKE_CURRENT_LIST_DIR}/config/tests.cmake)

# Logging and work queues (portable, so they also run natively under the sanitizers).
kvx_add_test_exe(fw_logging_tests
    SOURCES
        framework/logging/ThreadedLoggerTest.cpp
    LIBS kvx_framework
)
kvx_add_test_exe(fw_workqueue_tests
    SOURCES
        framework/workqueue/WorkQueueTest.cpp
    LIBS kvx_framework
)
include(${CMAKE_CURRENT_LIST_DIR}/settings/tests.cmake)
if(KVX_WINDOWS)
    # Logger on real files and the Win32 thread platform, and the assertion set-up, stack capture and
    # crash-report client, under Wine.
    kvx_add_test_exe(fw_logging_windows_tests
        SOURCES framework/logging/Win32LoggerTest.cpp support/TempFolder.cpp
        LIBS kvx_framework
    )
endif()
# Error accounting and the application core.
include(${CMAKE_CURRENT_LIST_DIR}/errors/tests.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/app/tests.cmake)
