# The application core: allocator and work-queue set-up run natively under the
# sanitizers; the lifecycle itself runs under Wine.
kvx_add_test_exe(fw_app_tests
    SOURCES
        framework/app/AppCorePartsTest.cpp
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
endif()
