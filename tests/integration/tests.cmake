# Test executables of src/integration, all under Wine (its texts are checked where they are written).
if(KVX_WINDOWS)
    # Start-up duties of the application core: program directories (temporary layouts and the
    # prefix's application key), TLS 1.2 settings below a test key, the start-up banner; and the
    # shortcuts, which start the programs of that directory table.
    kvx_add_test_exe(integration_appcore_tests
        SOURCES
            integration/AppCoreTestSupport.cpp
            integration/StartupDutiesTest.cpp
            support/TempFolder.cpp
        LIBS kvx_integration
    )
    # The application key is shared with the process tests.
    set_tests_properties(integration_appcore_tests PROPERTIES RESOURCE_LOCK wine_suite_processes)

    # The install-path check, main app keys, common application data directory, the update-in-progress
    # event, and the suite's registration with Windows: availability, protocols, uninstall entries,
    # the game catalog extension and the background service's configuration.
    kvx_add_test_exe(app_keys_windows_tests
        SOURCES
            integration/AppCoreTestSupport.cpp
            integration/MainFlowDutiesTest.cpp
            integration/RegistrationTest.cpp
            process/ProcessTestSupport.cpp
            support/TempFolder.cpp
        LIBS kvx_integration
    )
    # The users' shells are played by the suite simulator.
    add_dependencies(app_keys_windows_tests suite_sim)
    # Every test executable that changes HKLM "Software\Tessory\Korv Desktop" in the shared prefix
    # takes this lock; the event test relies on it too, since a whole destager run creates the event.
    set_property(TEST app_keys_windows_tests APPEND PROPERTY RESOURCE_LOCK wine_app_key)
    foreach(other machine_settings_tests integration_appcore_tests)
        if(TEST ${other})
            set_property(TEST ${other} APPEND PROPERTY RESOURCE_LOCK wine_app_key)
        endif()
    endforeach()
endif()
