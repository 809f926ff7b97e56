# Machine settings and the special-path service (Windows: real files, known folders under Wine).
kvx_add_test_exe(special_directory_config_tests
    SOURCES
        framework/settings/SpecialDirectoryConfigTest.cpp
    LIBS kvx_framework
)
if(KVX_WINDOWS)
    kvx_add_test_exe(machine_settings_tests
        SOURCES
            framework/settings/MachineSettingsTest.cpp
            framework/settings/SpecialPathTest.cpp
        LIBS kvx_fs_test_support kvx_framework
    )
endif()
