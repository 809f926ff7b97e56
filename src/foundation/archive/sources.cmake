# The zip reader (portable).
list(APPEND KVX_PORTABLE_SOURCES
    foundation/archive/ZipTypes.cpp
    foundation/archive/ZipEndRecord.cpp
    foundation/archive/ZipCentralDirectory.cpp
)
