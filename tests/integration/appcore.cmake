# Start-up duties of the application core, under Wine: program directories (temporary layouts and
# the prefix's application key), TLS 1.2 settings below a test key, the start-up banner; and the
# shortcuts, which start the programs of that directory table.
if(KVX_WINDOWS)
    kvx_add_test_exe(integration_appcore_tests
        SOURCES
            integration/AppCoreTestSupport.cpp
            integration/AppDirectoriesTest.cpp
            integration/AppInfoTest.cpp
            integration/ShortcutsTest.cpp
            integration/Tls12SupportTest.cpp
            foundation/registry/RegistryTestSupport.cpp
            support/TempFolder.cpp
        LIBS kvx_windows
    )
    # The application key is shared with the process tests.
    set_tests_properties(integration_appcore_tests PROPERTIES RESOURCE_LOCK wine_suite_processes)
endif()
