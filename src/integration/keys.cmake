# Main app keys, common application data directory, update-in-progress event, protocol repair.
list(APPEND KVX_WINDOWS_SOURCES
    integration/AppRegistryKeys.cpp
    integration/CommonAppDataDirectory.cpp
    integration/ProtocolHandlers.cpp
    integration/UpdateInProgressEvent.cpp
)
