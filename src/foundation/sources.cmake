# Sources of src/foundation: portable files in KVX_PORTABLE_SOURCES, Windows-only files in KVX_WINDOWS_SOURCES.
list(APPEND KVX_PORTABLE_SOURCES
    foundation/Assert.cpp
    foundation/Clock.cpp
    foundation/Logging.cpp
    foundation/Result.cpp
    foundation/Retry.cpp
    foundation/SafeFormat.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    foundation/SystemLibrary.cpp
    foundation/TextConversion.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    foundation/registry/WindowsRegistryProxy.cpp
    foundation/registry/RegistryKey.cpp
    foundation/registry/RegistryValues.cpp
    foundation/registry/RegistryMultiString.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS advapi32)
include(${CMAKE_CURRENT_LIST_DIR}/win/sources.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/security/sources.cmake)
list(APPEND KVX_PORTABLE_SOURCES
    foundation/paths/SpecialDirectory.cpp
    foundation/paths/SpecialDirectoryRedirections.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    foundation/paths/SpecialFolderQuery.cpp
    foundation/paths/TamrinUtilsImpl.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS shell32 ole32)
