# The reader of "machine.destageErrors", from a real two-record value.
set(kvx_destager_dir ${PROJECT_SOURCE_DIR}/src/destager)
kvx_add_fuzzer(destage_errors_fuzzer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/TelemetryDecodingFuzzer.cpp ${kvx_destager_dir}/TelemetryRecordDecoding.cpp
            ${kvx_destager_dir}/TelemetryRecord.cpp ${kvx_destager_dir}/ErrorKinds.cpp
    SEEDS ${CMAKE_CURRENT_LIST_DIR}/destage-errors.seed
    RUNS 30000)
