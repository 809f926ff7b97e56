# Test executables of src/process (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
kvx_add_test_exe(proc_portable_tests
    SOURCES
        process/CommandLinePatternTest.cpp
        process/ServiceTablesTest.cpp
        process/SuiteExecutablesTest.cpp
)

if(KVX_WINDOWS)
    # Programs the process tests start: a real service, an idle stand-in suite process and a DLL.
    foreach(helper proc_test_service proc_idle)
        if(helper STREQUAL proc_test_service)
            add_executable(${helper} process/helpers/TestService.cpp)
        else()
            add_executable(${helper} process/helpers/IdleProcess.cpp)
        endif()
        target_compile_definitions(${helper} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
        target_link_options(${helper} PRIVATE -municode)
        target_link_libraries(${helper} PRIVATE advapi32)
    endforeach()
    add_library(proc_test_module SHARED process/helpers/TestModule.cpp)
    set_target_properties(proc_test_module PROPERTIES PREFIX "")

    kvx_add_test_exe(proc_windows_tests
        SOURCES
            process/ProcessTestSupport.cpp
            process/ProcessUtilsTest.cpp
            process/LockedModulesTest.cpp
            process/ProcessWaitsTest.cpp
            process/ServiceControlTest.cpp
            process/SuiteShutdownTest.cpp
            process/InstallLocationTest.cpp
        LIBS kvx_fs_test_support
    )
    add_dependencies(proc_windows_tests proc_test_service proc_idle proc_test_module)

    # The repair-state stop against the suite simulator (tools/suite-sim), with real waits.
    kvx_add_test_exe(proc_suite_scenario_tests
        SOURCES
            process/ProcessTestSupport.cpp
            process/SuiteSimScenarioTest.cpp
        LIBS kvx_fs_test_support
    )
    add_dependencies(proc_suite_scenario_tests suite_sim)
    # Both stop processes by suite name and set the install location in the shared Wine prefix.
    set_tests_properties(proc_windows_tests proc_suite_scenario_tests PROPERTIES RESOURCE_LOCK wine_suite_processes)
endif()
# Install-path check, relaunch and shutdown guard.
include(${CMAKE_CURRENT_LIST_DIR}/keys.cmake OPTIONAL)
