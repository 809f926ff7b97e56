# Test executables of src/foundation/fs (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
