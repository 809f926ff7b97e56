# Sources of src/framework: portable files in KVX_PORTABLE_SOURCES, Windows-only files in KVX_WINDOWS_SOURCES.
include(${CMAKE_CURRENT_LIST_DIR}/config/sources.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/settings/sources.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/telemetry/sources.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/logging/sources.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/workqueue/sources.cmake)
# Error accounting and the application core.
include(${CMAKE_CURRENT_LIST_DIR}/errors/sources.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/app/sources.cmake OPTIONAL)
