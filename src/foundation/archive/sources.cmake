# Sources of src/foundation/archive: portable files in KVX_PORTABLE_SOURCES, Windows-only files in KVX_WINDOWS_SOURCES.
list(APPEND KVX_PORTABLE_SOURCES
    foundation/archive/ZipTypes.cpp
    foundation/archive/ZipEndRecord.cpp
    foundation/archive/ZipCentralDirectory.cpp
)
