# The built destager end to end against a sandbox install (tools/sandbox), with real waits.
if(KVX_WINDOWS AND TARGET KorvDestager)
    kvx_add_test_exe(destager_e2e_tests
        SOURCES
            destager/e2e/DestagerEndToEndTest.cpp
            support/TempFolder.cpp
        LIBS korv_sandbox_lib
    )
    # korv_sandbox brings the simulator and the destager copy the sandbox installs.
    add_dependencies(destager_e2e_tests korv_sandbox)
    # It registers the real background service, ends suite programs by name and rewrites the
    # application key, machine.ini and the loop counters of the shared prefix.
    set_tests_properties(destager_e2e_tests PROPERTIES RESOURCE_LOCK "wine_suite_processes;wine_app_key"
                         TIMEOUT 180)
endif()
