# The application core: process-wide services brought up and down in order, the default allocator,
# work-queue set-up and the platform libraries it starts and stops.
list(APPEND KVX_PORTABLE_SOURCES
    framework/app/LocalizationSystem.cpp
    framework/app/MallocAllocator.cpp
    framework/app/PlatformLibraries.cpp
    framework/app/StartupSettings.cpp
    framework/app/WorkQueueSetup.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    framework/app/AppCore.cpp
    framework/app/GlobalOperatorNew.cpp
)
# Pulled into every program by the linker as the definition of operator new; kept out of unity
# batches so that it does not drag the application core along.
set_source_files_properties(framework/app/GlobalOperatorNew.cpp PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
