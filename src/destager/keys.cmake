# Loop detection on the registry.
list(APPEND KVX_WINDOWS_SOURCES
    destager/LoopDetection.cpp
)
