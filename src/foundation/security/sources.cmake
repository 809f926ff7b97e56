# Protected directories: the path checks are portable, the security calls Windows-only.
list(APPEND KVX_PORTABLE_SOURCES
    foundation/security/DirectoryChecks.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    foundation/security/DirectoryHandle.cpp
    foundation/security/ProtectedDirectory.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS advapi32)
