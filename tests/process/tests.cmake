# Test executables of src/process (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
kvx_add_test_exe(proc_portable_tests
    SOURCES process/ProcessRulesTest.cpp
    LIBS kvx_process
)

if(KVX_WINDOWS)
    # Runs the shutdown guard over a stalled teardown; ended by the guard, judged by the test.
    add_executable(proc_stalled_teardown process/helpers/StalledTeardown.cpp)
    kvx_target_defaults(proc_stalled_teardown)
    target_link_libraries(proc_stalled_teardown PRIVATE kvx_test_support kvx_integration)

    # The suite processes and the services of these tests are played by the suite simulator
    # (tools/suite-sim).
    kvx_add_test_exe(proc_windows_tests
        SOURCES
            process/ClientLaunchTest.cpp
            process/ProcessTestSupport.cpp
            process/SuiteShutdownTest.cpp
            integration/AppCoreTestSupport.cpp
        LIBS kvx_fs_test_support kvx_integration
    )
    add_dependencies(proc_windows_tests proc_stalled_teardown suite_sim)
    # Stops processes by suite name and sets the install location in the shared Wine prefix.
    set_tests_properties(proc_windows_tests PROPERTIES RESOURCE_LOCK wine_suite_processes)

    # These set "InstallLocation" in the app key of the shared prefix.
    set_property(TEST proc_windows_tests APPEND PROPERTY RESOURCE_LOCK wine_app_key)
endif()
