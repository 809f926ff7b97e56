# Update orchestration and the repair state.
list(APPEND KVX_WINDOWS_SOURCES
    destager/RepairState.cpp
    destager/UpdateOrchestration.cpp
)
