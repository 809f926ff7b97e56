# Test executables of src/process (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
kvx_add_test_exe(proc_portable_tests
    SOURCES
        process/CommandLinePatternTest.cpp
        process/SuiteExecutablesTest.cpp
)

if(KVX_WINDOWS)
    # A real service the service-control tests register; the suite processes are played by the
    # suite simulator (tools/suite-sim).
    add_executable(proc_test_service process/helpers/TestService.cpp)
    target_compile_definitions(proc_test_service PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
    target_include_directories(proc_test_service PRIVATE ${PROJECT_SOURCE_DIR}/src)
    target_link_options(proc_test_service PRIVATE -municode)
    target_link_libraries(proc_test_service PRIVATE advapi32)

    kvx_add_test_exe(proc_windows_tests
        SOURCES
            process/ProcessTestSupport.cpp
            process/ProcessUtilsTest.cpp
            process/LockedModulesTest.cpp
            process/ProcessWaitsTest.cpp
            process/ServiceControlTest.cpp
            process/SuiteShutdownTest.cpp
            integration/AppCoreTestSupport.cpp
        LIBS kvx_fs_test_support
    )
    add_dependencies(proc_windows_tests proc_test_service suite_sim)
    # Stops processes by suite name and sets the install location in the shared Wine prefix.
    set_tests_properties(proc_windows_tests PROPERTIES RESOURCE_LOCK wine_suite_processes)
endif()
# Install-path check, relaunch and shutdown guard.
include(${CMAKE_CURRENT_LIST_DIR}/keys.cmake OPTIONAL)
