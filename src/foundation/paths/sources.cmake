# Special directories: the redirection rules portable, the known-folder queries through Win32.
list(APPEND KVX_PORTABLE_SOURCES
    foundation/paths/SpecialDirectory.cpp
    foundation/paths/SpecialDirectoryRedirections.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    foundation/paths/SpecialFolderQuery.cpp
    foundation/paths/TamrinUtilsImpl.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS shell32 ole32)
