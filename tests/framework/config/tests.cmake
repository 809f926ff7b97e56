# Configuration store, file formats, resource container and start-up configuration.
kvx_add_test_exe(config_portable_tests
    SOURCES
        framework/config/StaticConfigurationTest.cpp
    LIBS kvx_framework
)
add_dependencies(config_portable_tests kvx_resources)
target_compile_definitions(config_portable_tests PRIVATE
    KVX_TEST_RCC_FILE="${KVX_RCC_FILE}" KVX_TEST_CONFIG_DIR="${PROJECT_SOURCE_DIR}/config")

include(${CMAKE_CURRENT_LIST_DIR}/fuzz.cmake)
