# Test executables of src/integration (kvx_add_test_exe; Windows-only ones inside if(KVX_WINDOWS)).
# Start-up duties, main keys and update-in-progress marker, post-update refresh.
include(${CMAKE_CURRENT_LIST_DIR}/appcore.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/keys.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/refresh.cmake OPTIONAL)
