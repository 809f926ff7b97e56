# The resource container, the configuration-file parser and the machine.ini parser.
set(kvx_config_dir ${PROJECT_SOURCE_DIR}/src/framework/config)
kvx_add_fuzzer(rcc_container_fuzzer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/RccContainerFuzzer.cpp ${kvx_config_dir}/RccContainer.cpp
    SEEDS ${KVX_RCC_FILE}
    RUNS 30000
    LIBS -lz)
if(TARGET rcc_container_fuzzer)
    add_dependencies(rcc_container_fuzzer kvx_resources)
endif()
kvx_add_fuzzer(kvps_toml_fuzzer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/KvpsTomlFuzzer.cpp ${kvx_config_dir}/KVPs.cpp ${kvx_config_dir}/ConfigSystem.cpp
    SEEDS ${PROJECT_SOURCE_DIR}/config/tamrin.cfg ${PROJECT_SOURCE_DIR}/config/KorvDestager.cfg
    RUNS 30000)
kvx_add_fuzzer(kvps_ini_fuzzer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/KvpsIniFuzzer.cpp ${kvx_config_dir}/KVPs.cpp
    SEEDS ${PROJECT_SOURCE_DIR}/config/tamrin.cfg
    RUNS 30000)
