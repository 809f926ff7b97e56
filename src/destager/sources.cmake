# Sources of src/destager: portable files in KVX_PORTABLE_SOURCES, Windows-only files in KVX_WINDOWS_SOURCES.
list(APPEND KVX_PORTABLE_SOURCES
    destager/DestagerOptions.cpp
    destager/LoopCheck.cpp
)
# Error telemetry, result codes and staged-file validation.
list(APPEND KVX_PORTABLE_SOURCES
    destager/ArchiveEntryPath.cpp
    destager/ErrorKinds.cpp
    destager/TelemetryRecord.cpp
    destager/TelemetryRecordDecoding.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    destager/ClientFileVersion.cpp
    destager/DestageContext.cpp
    destager/ErrorTelemetry.cpp
    destager/StagedFileValidation.cpp
)
# Folder swap and symlink mode, orchestration, loop detection, the entry.
include(${CMAKE_CURRENT_LIST_DIR}/swap.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/orchestration.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/keys.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/main.cmake OPTIONAL)
