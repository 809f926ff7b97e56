# Test executables of src/destager (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
kvx_add_test_exe(destager_portable_tests
    SOURCES
        destager/AfterUpdateTest.cpp
        destager/DestagerOptionsTest.cpp
    LIBS kvx_destager
)
# Error telemetry records.
kvx_add_test_exe(telemetry_record_tests
    SOURCES
        destager/TelemetryRecordTest.cpp
    LIBS kvx_destager
)
include(${CMAKE_CURRENT_LIST_DIR}/fuzz.cmake)
if(NOT KVX_WINDOWS)
    return()
endif()

# Error telemetry.
kvx_add_test_exe(telemetry_validation_windows_tests
    SOURCES
        destager/ErrorTelemetryTest.cpp
        integration/AppCoreTestSupport.cpp
        support/TempFolder.cpp
    LIBS kvx_destager kvx_zip_writer
)
# The records read the install location from the application key of the shared prefix.
set_tests_properties(telemetry_validation_windows_tests PROPERTIES
                     RESOURCE_LOCK "wine_suite_processes;wine_app_key")

# Plain-mode folder swap with rollback, and symlink mode, on real folders with injected faults.
kvx_add_test_exe(swap_windows_tests
    SOURCES
        destager/ClientSwapTest.cpp
    LIBS kvx_fs_test_support kvx_destager
)
# Every swap writes the way back after a crash into the prefix's RunOnce key, which wineboot runs.
set_tests_properties(swap_windows_tests PROPERTIES RESOURCE_LOCK "wine_run_once")

# Update orchestration with staged-file validation, and the repair state.
kvx_add_test_exe(orchestration_windows_tests
    SOURCES
        destager/RepairStateTest.cpp
        destager/UpdateOrchestrationTest.cpp
    LIBS kvx_fs_test_support kvx_destager kvx_zip_writer
)
# The validation's records read the install location from the application key of the shared prefix.
set_tests_properties(orchestration_windows_tests PROPERTIES
                     RESOURCE_LOCK "wine_suite_processes;wine_app_key;wine_run_once")

# The built destager end to end against a sandbox install (tools/sandbox), with real waits.
if(TARGET KorvDestager)
    kvx_add_test_exe(destager_e2e_tests
        SOURCES
            destager/e2e/DestagerEndToEndTest.cpp
            support/TempFolder.cpp
        LIBS korv_sandbox_lib
    )
    # korv_sandbox brings the simulator and the destager copy the sandbox installs; some runs use
    # the crash-test build, told to throw at a step.
    add_dependencies(destager_e2e_tests korv_sandbox KorvDestagerCrashPoints)
    # It registers the real background service, ends suite programs by name and rewrites the
    # application key, machine.ini and the loop counters of the shared prefix.
    set_tests_properties(destager_e2e_tests PROPERTIES
                         RESOURCE_LOCK "wine_suite_processes;wine_app_key;wine_run_once" TIMEOUT 480)

    # The crash-test build of the destager: the same entry and layers, plus the hook that stops it
    # hard at the step a test names. Never copied beside the shipped destager.
    add_executable(KorvDestagerCrashPoints WIN32 ${PROJECT_SOURCE_DIR}/src/destager/WinMain.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/crash/CrashPointHook.cpp)
    kvx_target_defaults(KorvDestagerCrashPoints)
    target_compile_definitions(KorvDestagerCrashPoints PRIVATE KVX_CRASH_POINTS)
    target_include_directories(KorvDestagerCrashPoints PRIVATE ${CMAKE_CURRENT_LIST_DIR}/crash
                                                               ${PROJECT_SOURCE_DIR}/tests)
    target_link_options(KorvDestagerCrashPoints PRIVATE -municode)
    target_link_libraries(KorvDestagerCrashPoints PRIVATE kvx_destager)
    set_target_properties(KorvDestagerCrashPoints PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/sandbox/crashpoints)

    # Each step of an update stopped hard in turn, then a restart of the prefix (wineboot -r) and,
    # where the install was whole, a clean run (the crash-consistency matrix).
    kvx_add_test_exe(destager_crash_matrix_tests
        SOURCES
            destager/e2e/CrashMatrixTest.cpp
            support/TempFolder.cpp
        LIBS korv_sandbox_lib
    )
    target_include_directories(destager_crash_matrix_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/crash)
    add_dependencies(destager_crash_matrix_tests korv_sandbox KorvDestagerCrashPoints)
    set_tests_properties(destager_crash_matrix_tests PROPERTIES
                         RESOURCE_LOCK "wine_suite_processes;wine_app_key;wine_run_once" TIMEOUT 480)
    add_test(NAME destager_exe_has_no_crash_points
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-no-crash-points $<TARGET_FILE:KorvDestager>
                     $<TARGET_FILE:KorvDestagerCrashPoints>)
endif()

# What Windows reads from the destager before running it: subsystem, version and manifest.
add_test(NAME destager_exe_resources
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-destager-exe $<TARGET_FILE:KorvDestager> ${PROJECT_VERSION})
