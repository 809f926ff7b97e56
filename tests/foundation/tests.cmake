# Test executables of src/foundation (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
kvx_add_test_exe(portable_tests
    SOURCES
        foundation/ResultTest.cpp
        foundation/fs/RemovalPolicyTest.cpp
    LIBS kvx_foundation
)

if(KVX_WINDOWS)
    kvx_add_test_exe(registry_tests
        SOURCES
            foundation/registry/RegistryKeyTest.cpp
        LIBS kvx_foundation
    )
endif()

if(KVX_WINDOWS)
    kvx_add_test_exe(foundation_win_utils_tests
        SOURCES
            foundation/security/ProtectedDirectoryTest.cpp
            support/FakeSymlinkFilesystem.cpp
            support/TempFolder.cpp
        LIBS kvx_foundation
    )
endif()
