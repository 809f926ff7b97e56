# Telemetry events and their optional sink (portable).
list(APPEND KVX_PORTABLE_SOURCES
    framework/telemetry/TelemetryEvent.cpp
)
