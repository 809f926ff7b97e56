# Configuration store, its file formats, the resource container and start-up configuration.
list(APPEND KVX_PORTABLE_SOURCES
    framework/config/AppConfigUtil.cpp
    framework/config/ConfigSystem.cpp
    framework/config/Environment.cpp
    framework/config/KVPs.cpp
    framework/config/Modes.cpp
    framework/config/RccContainer.cpp
    framework/config/ResourceManager.cpp
    framework/config/StaticConfiguration.cpp
)
