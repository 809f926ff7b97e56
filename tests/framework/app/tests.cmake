# The application core: allocator, work-queue set-up and start-up settings run natively under the
# sanitizers; the lifecycle itself runs under Wine.
kvx_add_test_exe(fw_app_tests
    SOURCES
        framework/app/MallocAllocatorTest.cpp
        framework/app/StartupSettingsTest.cpp
        framework/app/WorkQueueSetupTest.cpp
    LIBS kvx_framework
)
if(KVX_WINDOWS)
    # The lifecycle with real files, threads and the Wine prefix's registry.
    kvx_add_test_exe(fw_app_windows_tests
        SOURCES
            framework/app/AppCoreTest.cpp
            integration/AppCoreTestSupport.cpp
            support/TempFolder.cpp
        LIBS kvx_integration
    )
    kvx_copy_resources_beside(fw_app_windows_tests)
    # One test reads and sets the application key shared with the process tests.
    set_tests_properties(fw_app_windows_tests PROPERTIES RESOURCE_LOCK wine_suite_processes)
endif()
