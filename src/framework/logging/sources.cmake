# The threaded logger: writing rules portable, files and folders through Win32.
list(APPEND KVX_PORTABLE_SOURCES
    framework/logging/LogFile.cpp
    framework/logging/LogFormat.cpp
    framework/logging/LoggerConfig.cpp
    framework/logging/PendingLines.cpp
    framework/logging/ThreadedLogger.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    framework/logging/Win32LogStorage.cpp
    framework/logging/Win32LogsFolder.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS advapi32 shell32 ole32 uuid)
