# Sources of src/process: portable files in KVX_PORTABLE_SOURCES, Windows-only files in KVX_WINDOWS_SOURCES.
list(APPEND KVX_PORTABLE_SOURCES
    process/CommandLinePattern.cpp
    process/ServiceTables.cpp
    process/SuiteExecutables.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    process/AdminCheck.cpp
    process/BackgroundService.cpp
    process/LockedModules.cpp
    process/ProcessStopping.cpp
    process/ProcessUtilsImpl.cpp
    process/ProcessWalk.cpp
    process/ProcessWaits.cpp
    process/RestartManager.cpp
    process/ServiceControlManager.cpp
    process/SuiteShutdown.cpp
    process/Win32Service.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS advapi32 shlwapi)
# Install-path check, relaunch and shutdown guard.
include(${CMAKE_CURRENT_LIST_DIR}/keys.cmake OPTIONAL)
