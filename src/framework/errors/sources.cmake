# Error accounting: assertion handling, app events, the error accumulator and the crash-report client.
list(APPEND KVX_PORTABLE_SOURCES
    framework/errors/AppEvents.cpp
    framework/errors/AssertFormat.cpp
    framework/errors/AssertionHandler.cpp
    framework/errors/CrashReport.cpp
    framework/errors/ErrorAccumulator.cpp
    framework/errors/ErrorAccumulatorConfig.cpp
)
