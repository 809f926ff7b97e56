# Error accounting: assertion handling, app events, the error accumulator and the crash-report client.
list(APPEND KVX_PORTABLE_SOURCES
    framework/errors/AppEvents.cpp
    framework/errors/AssertFormat.cpp
    framework/errors/AssertionHandler.cpp
    framework/errors/CrashReport.cpp
    framework/errors/ErrorAccumulator.cpp
    framework/errors/ErrorAccumulatorConfig.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    framework/errors/AssertionSupport.cpp
    framework/errors/ExceptionHandlerClient.cpp
    framework/errors/ExceptionSystem.cpp
    framework/errors/Win32AssertPlatform.cpp
    framework/errors/Win32StackSymbols.cpp
)
