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
)
list(APPEND KVX_WINDOWS_SOURCES
    destager/ClientFileVersion.cpp
    destager/ErrorTelemetry.cpp
    destager/StagedFileValidation.cpp
)
