# The filesystem layer: path rules portable, the rest through Win32.
list(APPEND KVX_PORTABLE_SOURCES
    foundation/fs/PathRules.cpp
    foundation/fs/RemovalPolicy.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    foundation/fs/DefaultFileStream.cpp
    foundation/fs/FileFunctions.cpp
    foundation/fs/FileListing.cpp
    foundation/fs/FileStreamFlags.cpp
    foundation/fs/FilesystemGlobal.cpp
    foundation/fs/FilesystemLinks.cpp
    foundation/fs/FilesystemModify.cpp
    foundation/fs/FilesystemPaths.cpp
    foundation/fs/FilesystemStatus.cpp
    foundation/fs/FilesystemWalk.cpp
    foundation/fs/HandleOpen.cpp
    foundation/fs/Path.cpp
    foundation/fs/PathRulesWin.cpp
    foundation/fs/ReparseData.cpp
    foundation/fs/RetryingOperations.cpp
    foundation/fs/Win32Paths.cpp
)
# Relative opens of entries by handle; ntdll is a KnownDLL.
list(APPEND KVX_WINDOWS_LINK_LIBS ntdll)
