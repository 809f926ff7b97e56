# Machine settings, the special-path service and the configuration's Windows sources (Windows: real
# files, known folders and the app key under Wine).
if(KVX_WINDOWS)
    kvx_add_test_exe(machine_settings_tests
        SOURCES framework/settings/SettingsTest.cpp
        LIBS kvx_fs_test_support kvx_framework
    )
endif()
