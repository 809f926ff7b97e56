# The zip reader and the zip format's CRC-32 (portable).
list(APPEND KVX_PORTABLE_SOURCES
    foundation/archive/Crc32.cpp
    foundation/archive/ZipTypes.cpp
    foundation/archive/ZipEndRecord.cpp
    foundation/archive/ZipCentralDirectory.cpp
)
