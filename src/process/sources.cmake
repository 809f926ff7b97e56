# Sources of src/process (kvx_process): process and service control, the suite's shutdown, the
# install-path check and the client's relaunch.
list(APPEND KVX_PORTABLE_SOURCES
    process/CommandLinePattern.cpp
    process/ClientStartPlan.cpp
    process/HresultText.cpp
    process/ServiceTables.cpp
    process/SuiteExecutables.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    process/AdminCheck.cpp
    process/BackgroundService.cpp
    process/ClientLaunch.cpp
    process/InstallPathValidation.cpp
    process/LockedModules.cpp
    process/ProcessStopping.cpp
    process/Process.cpp
    process/ProcessUtilsImpl.cpp
    process/ProcessWalk.cpp
    process/ProcessWaits.cpp
    process/ProcessWin.cpp
    process/RestartManager.cpp
    process/ServiceControlManager.cpp
    process/ShellLaunch.cpp
    process/ShutdownTimeout.cpp
    process/SuiteShutdown.cpp
    process/Win32Service.cpp
)
# Process.cpp has no Windows header but checks paths through the Windows filesystem layer.
list(APPEND KVX_WINDOWS_LINK_LIBS advapi32 shlwapi ole32 oleaut32 uuid)
