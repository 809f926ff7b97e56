# The main flow: what happens after the update, and the run's steps.
list(APPEND KVX_PORTABLE_SOURCES
    destager/AfterUpdatePlan.cpp
)
