# Post-update refresh: uninstall entries, shortcuts, background service configuration.
list(APPEND KVX_WINDOWS_SOURCES
    integration/BackgroundServiceConfig.cpp
    integration/Shortcuts.cpp
    integration/UninstallEntries.cpp
)
