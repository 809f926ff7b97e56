# The registry through Win32.
list(APPEND KVX_WINDOWS_SOURCES
    foundation/registry/WindowsRegistryProxy.cpp
    foundation/registry/RegistryKey.cpp
    foundation/registry/RegistryValues.cpp
    foundation/registry/RegistryMultiString.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS advapi32)
