# Test executables of src/foundation/archive (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
