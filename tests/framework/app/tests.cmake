# The application core's lifecycle runs under Wine (its allocator and work-queue set-up run natively
# with the work queue tests, under the sanitizers).
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
endif()
