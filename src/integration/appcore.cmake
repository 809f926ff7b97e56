# Start-up duties of the application core: the suite's program directories, TLS 1.2, the banner.
list(APPEND KVX_WINDOWS_SOURCES
    integration/AppDirectories.cpp
    integration/AppInfo.cpp
    integration/Tls12Support.cpp
)
