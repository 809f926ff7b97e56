# Sources of src/integration (kvx_integration, Windows only): the app key and install location,
# the start-up duties of the application core (program directories, TLS 1.2, the banner), the
# main keys and the update-in-progress event, protocol repair and the post-update refresh
# (uninstall entries, shortcuts, background service configuration).
list(APPEND KVX_WINDOWS_SOURCES
    integration/AppDirectories.cpp
    integration/AppInfo.cpp
    integration/AppKey.cpp
    integration/AppCoreHooks.cpp
    integration/AppRegistryKeys.cpp
    integration/BackgroundServiceConfig.cpp
    integration/CommonAppDataDirectory.cpp
    integration/InstallLocation.cpp
    integration/InstalledSuite.cpp
    integration/ProtocolHandlers.cpp
    integration/ShellLink.cpp
    integration/Shortcuts.cpp
    integration/ThirdPartyAvailability.cpp
    integration/Tls12Support.cpp
    integration/UninstallEntries.cpp
    integration/UpdateInProgressEvent.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS shell32)
# The shell link and property store interface ids are static data, not a DLL.
list(APPEND KVX_WINDOWS_LINK_LIBS uuid)
