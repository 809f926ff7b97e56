# Sources of src/framework/settings.
list(APPEND KVX_PORTABLE_SOURCES
    framework/settings/SpecialDirectoryConfig.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    framework/settings/MachineSettings.cpp
)
