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
list(APPEND KVX_WINDOWS_SOURCES
    framework/config/DeveloperCertificate.cpp
    framework/config/FlintModeRegistry.cpp
    framework/config/WindowsConfigPlatform.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS user32)

# The built-in configuration files, packed into "<app>.rcc.enc" at build time.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
file(GLOB_RECURSE KVX_RESOURCE_INPUTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/config/*)
set(KVX_RCC_FILE ${CMAKE_BINARY_DIR}/resources/KorvDestager.rcc.enc CACHE INTERNAL "the packed resource container")
add_custom_command(
    OUTPUT ${KVX_RCC_FILE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/resources
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/pack_rcc.py
            --root ${PROJECT_SOURCE_DIR} --output ${KVX_RCC_FILE} config
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/pack_rcc.py ${KVX_RESOURCE_INPUTS}
    COMMENT "Packing the resource container"
    VERBATIM)
add_custom_target(kvx_resources ALL DEPENDS ${KVX_RCC_FILE})

# Puts the container beside an executable, where the program looks for it.
function(kvx_copy_resources_beside target)
    add_dependencies(${target} kvx_resources)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KVX_RCC_FILE} $<TARGET_FILE_DIR:${target}>
        VERBATIM)
endfunction()
