# Test executables of src/process (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
