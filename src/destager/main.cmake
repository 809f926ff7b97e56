# The main flow: what happens after the update, and the run's steps.
list(APPEND KVX_PORTABLE_SOURCES
    destager/AfterUpdatePlan.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    destager/AppMain.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS ole32 shell32)
