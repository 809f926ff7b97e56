# Install-path check, relaunch and shutdown guard.
list(APPEND KVX_WINDOWS_SOURCES
    process/ClientLaunch.cpp
    process/InstallPathValidation.cpp
    process/ShutdownTimeout.cpp
)
