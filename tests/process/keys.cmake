# Install-path check.
if(KVX_WINDOWS)
    kvx_add_test_exe(install_path_windows_tests
        SOURCES process/InstallPathValidationTest.cpp
        LIBS kvx_windows
    )
    # These set "InstallLocation" in the app key of the shared prefix.
    set_property(TEST proc_windows_tests APPEND PROPERTY RESOURCE_LOCK wine_app_key)
endif()
# Relaunch decisions (portable); process creation, the relaunch variants and the shutdown guard.
target_sources(proc_portable_tests PRIVATE process/ClientStartPlanTest.cpp)
if(KVX_WINDOWS)
    # Runs the shutdown guard over a stalled teardown; ended by the guard, judged by the test.
    add_executable(proc_stalled_teardown process/helpers/StalledTeardown.cpp)
    kvx_target_defaults(proc_stalled_teardown)
    target_link_libraries(proc_stalled_teardown PRIVATE kvx_test_support kvx_windows)
    target_sources(proc_windows_tests PRIVATE
        process/ClientLaunchTest.cpp
        process/ProcessTest.cpp
        process/ShutdownTimeoutTest.cpp
    )
    add_dependencies(proc_windows_tests proc_stalled_teardown)
endif()
