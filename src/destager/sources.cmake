# Sources of src/destager: portable files in KVX_PORTABLE_SOURCES, Windows-only files in KVX_WINDOWS_SOURCES.
list(APPEND KVX_PORTABLE_SOURCES
    destager/DestagerOptions.cpp
    destager/LoopCheck.cpp
)
