# Test executables of src/integration (Windows only, under Wine).
if(KVX_WINDOWS)
    # Start-up duties of the application core: program directories (temporary layouts and the
    # prefix's application key), TLS 1.2 settings below a test key, the start-up banner; and the
    # shortcuts, which start the programs of that directory table.
    kvx_add_test_exe(integration_appcore_tests
        SOURCES
            integration/AppCoreTestSupport.cpp
            integration/AppDirectoriesTest.cpp
            integration/AppInfoTest.cpp
            integration/ShortcutsTest.cpp
            integration/Tls12SupportTest.cpp
            foundation/registry/RegistryTestSupport.cpp
            support/TempFolder.cpp
        LIBS kvx_integration
    )
    # The application key is shared with the process tests.
    set_tests_properties(integration_appcore_tests PROPERTIES RESOURCE_LOCK wine_suite_processes)

    # Main app keys, common application data directory and the update-in-progress event.
    kvx_add_test_exe(app_keys_windows_tests
        SOURCES
            integration/AppRegistryKeysTest.cpp
            integration/CommonAppDataDirectoryTest.cpp
            integration/UpdateInProgressEventTest.cpp
            foundation/registry/RegistryTestSupport.cpp
            support/TempFolder.cpp
        LIBS kvx_integration
    )
    # Every test executable that changes HKLM "Software\Tessory\Korv Desktop" in the shared prefix
    # takes this lock; the event test relies on it too, since a whole destager run creates the event.
    set_property(TEST app_keys_windows_tests APPEND PROPERTY RESOURCE_LOCK wine_app_key)
    foreach(other config_windows_tests integration_appcore_tests)
        if(TEST ${other})
            set_property(TEST ${other} APPEND PROPERTY RESOURCE_LOCK wine_app_key)
        endif()
    endforeach()
endif()
