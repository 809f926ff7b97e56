# Plain-mode folder swap with rollback, and symlink mode.
list(APPEND KVX_WINDOWS_SOURCES
    destager/FolderSwap.cpp
    destager/RestoreInstall.cpp
    destager/SymlinkMode.cpp
)
