# Sources of src/integration: portable files in KVX_PORTABLE_SOURCES, Windows-only files in KVX_WINDOWS_SOURCES.
list(APPEND KVX_WINDOWS_SOURCES
    integration/AppKey.cpp
    integration/InstallLocation.cpp
    integration/ThirdPartyAvailability.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS shell32)
