# Test executables of src/destager (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
kvx_add_test_exe(destager_portable_tests
    SOURCES
        destager/AfterUpdatePlanTest.cpp
        destager/DestagerOptionsTest.cpp
        destager/LoopCheckTest.cpp
)
# Error telemetry records and staged-file validation.
kvx_add_test_exe(telemetry_record_tests
    SOURCES
        destager/TelemetryRecordTest.cpp
)
include(${CMAKE_CURRENT_LIST_DIR}/fuzz.cmake)
if(KVX_WINDOWS)
    kvx_add_test_exe(telemetry_validation_windows_tests
        SOURCES
            destager/ErrorTelemetryTest.cpp
            destager/StagedFileValidationTest.cpp
        LIBS kvx_windows kvx_zip_writer
    )
endif()
# Folder swap and symlink mode, orchestration, loop detection, end to end.
include(${CMAKE_CURRENT_LIST_DIR}/swap.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/orchestration.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/keys.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/e2e.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/main.cmake)
if(KVX_WINDOWS)
    # What Windows reads from the destager before running it: subsystem, version and manifest.
    add_test(NAME destager_exe_resources
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-destager-exe $<TARGET_FILE:KorvDestager> ${PROJECT_VERSION})
endif()
