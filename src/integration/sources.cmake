# Sources of src/integration: portable files in KVX_PORTABLE_SOURCES, Windows-only files in KVX_WINDOWS_SOURCES.
list(APPEND KVX_WINDOWS_SOURCES
    integration/AppKey.cpp
    integration/InstallLocation.cpp
    integration/ThirdPartyAvailability.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS shell32)
# Start-up duties, main keys and update-in-progress marker, post-update refresh.
include(${CMAKE_CURRENT_LIST_DIR}/appcore.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/keys.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/refresh.cmake OPTIONAL)
