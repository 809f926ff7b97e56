# Test executables of src/process (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
kvx_add_test_exe(proc_portable_tests
    SOURCES
        process/ClientStartPlanTest.cpp
        process/CommandLinePatternTest.cpp
        process/SuiteExecutablesTest.cpp
    LIBS kvx_process
)

if(KVX_WINDOWS)
    # A real service the service-control tests register; the suite processes are played by the
    # suite simulator (tools/suite-sim).
    add_executable(proc_test_service process/helpers/TestService.cpp)
    target_compile_definitions(proc_test_service PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
    target_include_directories(proc_test_service PRIVATE ${PROJECT_SOURCE_DIR}/src)
    target_link_options(proc_test_service PRIVATE -municode)
    target_link_libraries(proc_test_service PRIVATE advapi32)

    # Runs the shutdown guard over a stalled teardown; ended by the guard, judged by the test.
    add_executable(proc_stalled_teardown process/helpers/StalledTeardown.cpp)
    kvx_target_defaults(proc_stalled_teardown)
    target_link_libraries(proc_stalled_teardown PRIVATE kvx_test_support kvx_integration)

    kvx_add_test_exe(proc_windows_tests
        SOURCES
            process/ClientLaunchTest.cpp
            process/ProcessTest.cpp
            process/ShutdownTimeoutTest.cpp
            process/ProcessTestSupport.cpp
            process/ProcessUtilsTest.cpp
            process/LockedModulesTest.cpp
            process/ProcessWaitsTest.cpp
            process/ServiceControlTest.cpp
            process/SuiteShutdownTest.cpp
            integration/AppCoreTestSupport.cpp
        LIBS kvx_fs_test_support kvx_integration
    )
    add_dependencies(proc_windows_tests proc_test_service proc_stalled_teardown suite_sim)
    # Stops processes by suite name and sets the install location in the shared Wine prefix.
    set_tests_properties(proc_windows_tests PROPERTIES RESOURCE_LOCK wine_suite_processes)

    # The install-path check.
    kvx_add_test_exe(install_path_windows_tests
        SOURCES process/InstallPathValidationTest.cpp
        LIBS kvx_process
    )
    # These set "InstallLocation" in the app key of the shared prefix.
    set_property(TEST proc_windows_tests APPEND PROPERTY RESOURCE_LOCK wine_app_key)
endif()
