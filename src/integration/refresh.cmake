# Post-update refresh: uninstall entries, shortcuts, background service configuration.
list(APPEND KVX_WINDOWS_SOURCES
    integration/BackgroundServiceConfig.cpp
    integration/ShellLink.cpp
    integration/Shortcuts.cpp
    integration/UninstallEntries.cpp
)
# The shell link and property store interface ids are static data, not a DLL.
list(APPEND KVX_WINDOWS_LINK_LIBS uuid)
