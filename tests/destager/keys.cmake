# Loop detection on the test prefix's registry.
if(KVX_WINDOWS)
    kvx_add_test_exe(loop_detection_windows_tests
        SOURCES destager/LoopDetectionTest.cpp
        LIBS kvx_windows
    )
    # Writes below HKLM "Software\Tessory\Korv Desktop", shared by every test of that key.
    set_property(TEST loop_detection_windows_tests APPEND PROPERTY RESOURCE_LOCK wine_app_key)
endif()
