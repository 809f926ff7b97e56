# Main app keys, common application data directory and the update-in-progress event.
if(KVX_WINDOWS)
    kvx_add_test_exe(app_keys_windows_tests
        SOURCES
            integration/AppRegistryKeysTest.cpp
            integration/CommonAppDataDirectoryTest.cpp
            integration/UpdateInProgressEventTest.cpp
            foundation/registry/RegistryTestSupport.cpp
            support/TempFolder.cpp
        LIBS kvx_windows
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
