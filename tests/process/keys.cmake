# Install-path check.
if(KVX_WINDOWS)
    kvx_add_test_exe(install_path_windows_tests
        SOURCES process/InstallPathValidationTest.cpp
        LIBS kvx_windows
    )
    # These set "InstallLocation" in the app key of the shared prefix.
    set_property(TEST proc_windows_tests APPEND PROPERTY RESOURCE_LOCK wine_app_key)
endif()
