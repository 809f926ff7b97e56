# Test executables of src/destager (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
kvx_add_test_exe(destager_portable_tests
    SOURCES
        destager/DestagerOptionsTest.cpp
        destager/LoopCheckTest.cpp
)
