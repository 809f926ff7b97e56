# Install-path check, relaunch and shutdown guard.
list(APPEND KVX_WINDOWS_SOURCES
    process/ClientLaunch.cpp
    process/InstallPathValidation.cpp
    process/ShutdownTimeout.cpp
)
list(APPEND KVX_PORTABLE_SOURCES
    process/ClientStartPlan.cpp
)
# Process.cpp has no Windows header but checks paths through the Windows filesystem layer.
list(APPEND KVX_WINDOWS_SOURCES
    process/Process.cpp
    process/ProcessWin.cpp
    process/ShellLaunch.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS ole32 oleaut32 uuid)
